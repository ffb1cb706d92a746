// New GUIDs from the platform's generator.
#include "mvx_guid.h"

#include "mvx_exception.h"
#include "mvx_string.h"

#include <objbase.h>
#include <windows.h>

#define MVX_SOURCE "mvx_guid.win"

namespace Morvenix {

void Guid::generate()
{
    GUID g;
    if (FAILED(CoCreateGuid(&g))) {
        int code = mapWin32Error();
        MVX_THROW(code, formatSystemMessage() + " Cannot generate new GUID!", "Morvenix::Guid::generate");
    }
    // Data1 to Data3 most significant byte first, so the text of the bytes reads as the platform renders
    // the GUID.
    m_bytes[0] = (unsigned char)(g.Data1 >> 24);
    m_bytes[1] = (unsigned char)(g.Data1 >> 16);
    m_bytes[2] = (unsigned char)(g.Data1 >> 8);
    m_bytes[3] = (unsigned char)g.Data1;
    m_bytes[4] = (unsigned char)(g.Data2 >> 8);
    m_bytes[5] = (unsigned char)g.Data2;
    m_bytes[6] = (unsigned char)(g.Data3 >> 8);
    m_bytes[7] = (unsigned char)g.Data3;
    for (int i = 0; i < 8; ++i)
        m_bytes[8 + i] = g.Data4[i];
}

} // namespace Morvenix
