#include "links/oldsupport.h"

#include "engine/activas.h"
#include "engine/inactivas.h"
#include "links/batch_add.h"
#include "links/choice_layout.h"
#include "platform/named_widgets.h"
#include "platform/prompts.h"
#include "settings/cfg.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

oldsupport::oldsupport(activas *active, inactivas *queue, QWidget *parent)
    : QDialog(parent), active_(active), queue_(queue)
{
    setObjectName(u"oldsupport"_s);
    setWindowTitle(u"Agregar lista de archivos"_s);

    url_ = new QLineEdit(this);
    url_->setObjectName(u"url"_s);
    si_ = namedList(u"si"_s, this);
    no_ = namedList(u"no"_s, this);
    tono_ = namedButton(u"tono"_s, u">"_s, this);
    tosi_ = namedButton(u"tosi"_s, u"<"_s, this);
    destdir_ = new QLineEdit(this);
    destdir_->setObjectName(u"destdir"_s);
    brdir_ = namedButton(u"brdir"_s, u"..."_s, this);
    addtolist_ = namedButton(u"addtolist"_s, u"Agregar a la lista de descargas"_s, this);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(u"Dirección:"_s, this));
    top->addWidget(url_, 1);
    QGridLayout *lists = choiceLists(this, si_, no_, tono_, tosi_);
    QHBoxLayout *bottom = destinationRow(this, destdir_, brdir_, addtolist_);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(lists, 1);
    layout->addLayout(bottom);
    resize(640, 420);

    connect(tono_, &QPushButton::clicked, this, [this] { moveSelectedItem(si_, no_); });
    connect(tosi_, &QPushButton::clicked, this, [this] { moveSelectedItem(no_, si_); });
    connect(brdir_, &QPushButton::clicked, this, &oldsupport::brdir);
    connect(addtolist_, &QPushButton::clicked, this, &oldsupport::addtolist);

    // The folder as the settings hold it; the file names are joined to it
    // with a separator all the same.
    const cfg *settings = cfg::instance();
    destdir_->setText(settings ? settings->defdir() : QString());
}

oldsupport::~oldsupport() = default;

void oldsupport::setUrl(const QString &url)
{
    url_->setText(url);
}

void oldsupport::setItems(const QStringList &items)
{
    si_->clear();
    si_->addItems(items);
}

void oldsupport::brdir()
{
    const QString folder = platform::prompts().chooseFolder(destdir_->text());
    if (!folder.isEmpty())
        destdir_->setText(QDir::toNativeSeparators(folder));
}

void oldsupport::addtolist()
{
    if (!active_ || !queue_)
        return;
    QString base = url_->text();
    if (!base.endsWith(u'/'))
        base += u'/';
    QList<BatchSource> sources;
    for (int i = 0; i < si_->count(); ++i) {
        const QString item = si_->item(i)->text();
        sources.append({base + item, itemFileName(item)});
    }
    const QList<BatchStep> plan =
        planBatch(sources, destdir_->text(), tableRules(*active_, *queue_, kListQueueRows, true));
    if (addPlanned(plan, *active_, *queue_) >= 0) {
        platform::prompts().message(u"Se ha alcanzado el límite de descargas"_s, platform::Icon::Critical);
        return;
    }
    accept();
}
