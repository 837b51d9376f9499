#pragma once

#include <QDialog>
#include <QStringList>

struct SettingsValues;

// The settings dialog, which is also the live settings store: every other
// window reads a setting from here at the moment it needs it.
class cfg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(cfg)
public:
    // Builds the controls with their built-in defaults, then reads tandrel.ini
    // from the program folder (an error box and the defaults when it fails).
    explicit cfg(QWidget *parent = nullptr);
    ~cfg() override;

    // The live store: the dialog created last (the program creates one).
    static cfg *instance();

    QString defdir() const;
    bool initstart() const;
    bool showmsg() const;
    bool exevirus() const;
    QString virus() const;
    int segsv() const;
    int vecesv() const;
    bool delinc() const;
    bool dellista() const;
    bool autocont() const;
    int maxdesc() const;    // the numeric value of the text of maxdesc
    int maxdescval() const; // the up-down beside it
    int waitv() const;
    bool checkact() const;
    bool autoact() const;
    bool notact() const;
    bool msgno() const;
    bool msgdialog() const;
    bool msgsys() const;
    bool wavs() const;
    QString histrut() const;
    int histsize() const;
    QStringList ext() const;

    // Setters write the controls (other windows and tests use them).
    void setDefdir(const QString &v);
    void setInitstart(bool v);
    void setShowmsg(bool v);
    void setExevirus(bool v);
    void setVirus(const QString &v);
    void setSegsv(int v);
    void setVecesv(int v);
    void setDelinc(bool v);
    void setDellista(bool v);
    void setAutocont(bool v);
    void setMaxdesc(int v);
    void setWaitv(int v);
    void setCheckact(bool v);
    void setAutoact(bool v);
    void setNotact(bool v);
    void setMsgno(bool v);
    void setMsgdialog(bool v);
    void setMsgsys(bool v);
    void setWavs(bool v);
    void setHistrut(const QString &v);
    void setHistsize(int v);
    void setExt(const QStringList &v);

    // All controls at once, in the form tandrel.ini stores them.
    SettingsValues values() const;
    void setValues(const SettingsValues &v);

    // Reads tandrel.ini into the controls (on load and on Cancelar).
    void readSettings();
    // Writes the controls to tandrel.ini (on Aceptar); false when it failed.
    bool writeSettings();

public slots:
    void acept();    // "Aceptar"
    void cancelar(); // "Cancelar"

protected:
    // Closing the window discards the edits, as "Cancelar" does.
    void reject() override;

private:
    struct Controls;
    Controls *d;
};
