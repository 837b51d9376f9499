#include "main/admission.h"

AddTarget admit(int maxdesc, int activeRows, int queueRows, int queueRowLimit)
{
    if (maxdesc > activeRows)
        return AddTarget::Active;
    return queueRows < queueRowLimit ? AddTarget::Queue : AddTarget::Refused;
}
