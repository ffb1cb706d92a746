#include "bp_textcapture.h"

Morvenix::DjVu::TextZone* FinishZoneGeometry(Morvenix::DjVu::TextZone* inZone)
{
    return inZone;
}
