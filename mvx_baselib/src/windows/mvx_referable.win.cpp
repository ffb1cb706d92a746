// Reference counting over the system's interlocked operations.
#include "mvx_referable.h"

#include <windows.h>

namespace Morvenix {

int32_t Referable::addRef()
{
    return InterlockedIncrement(&m_refCount);
}

int32_t Referable::release()
{
    long n = InterlockedDecrement(&m_refCount);
    if (n == 0)
        delete this;
    return n;
}

} // namespace Morvenix
