#include "platform/actions.h"

#include <QComboBox>

int actions::FreeIndex(const QList<bool> &loaded)
{
    // Element 0 is the template and never handed out.
    int index = 1;
    while (index < loaded.size() && loaded[index])
        ++index;
    return index;
}

bool actions::NotInList(const QString &text, const QComboBox *combo)
{
    if (!combo)
        return true;
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i) == text)
            return false;
    return true;
}
