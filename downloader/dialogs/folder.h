#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QToolButton;

// The folder chooser: a drive list, the subfolders of the current folder and
// a button to make a new folder there.
class folder : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(folder)
public:
    explicit folder(QWidget *parent = nullptr);
    ~folder() override;

    // In native form; a root keeps its trailing separator.
    QString path() const;
    // A folder that does not exist opens its nearest existing parent.
    void setPath(const QString &path);
    void refresh();

    // Makes `name` inside the current folder. The created folder, or "" after
    // telling the user why not.
    QString createFolder(const QString &name);

    // The main window's unloading flag: until it is set, closing only hides.
    void setUnloading(std::function<bool()> unloading);

    // The drives: the file-system roots and every mounted volume.
    static QStringList drives();
    // folder + separator + name, without doubling the separator of a root.
    static QString childPath(const QString &parent, const QString &name);
    // One folder window, shown modally; its path, or "" when cancelled.
    static QString choose(const QString &startFolder);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void driveChosen(int index);
    void itemActivated(QListWidgetItem *item);
    void askNewFolder();
    void selectDrive();

    QString path_; // with '/' separators
    std::function<bool()> unloading_;
    QComboBox *drive_ = nullptr;
    QLabel *current_ = nullptr;
    QListWidget *dir_ = nullptr;
    QPushButton *acept_ = nullptr;
    QToolButton *newfolder_ = nullptr;
};
