// The failures of every SimpleArray instance, named after the instance that raised them.
#include "mvx_simplearray.h"

#include "mvx_exception.h"

#include <string>

#define MVX_SOURCE "mvx_simplearray"

namespace Morvenix {
namespace ArrayErrors {

namespace {

// GCC spells a member of the template as "R Morvenix::SimpleArray<T, kind>::name(args) [with T = X;
// int kind = K; ...]"; the instance's name is "Morvenix::SimpleArray<X,K>::name".
std::string instanceName(const char* pretty)
{
    std::string text(pretty);
    std::string::size_type open = text.find('(');
    std::string::size_type cls = text.rfind("SimpleArray<", open);
    std::string::size_type sep = text.find(">::", cls);
    std::string::size_type typeAt = text.find("[with T = ");
    std::string::size_type kindAt = text.find("; int kind = ", typeAt);
    if (open == std::string::npos || cls == std::string::npos || sep == std::string::npos || sep > open ||
        typeAt == std::string::npos || kindAt == std::string::npos)
        return text;
    std::string::size_type typeBegin = typeAt + 10, kindBegin = kindAt + 13;
    std::string::size_type kindEnd = text.find_first_not_of("0123456789", kindBegin);
    std::string::size_type nsBegin = text.rfind(' ', cls);
    nsBegin = nsBegin == std::string::npos ? 0 : nsBegin + 1;
    return text.substr(nsBegin, cls - nsBegin) + "SimpleArray<" + text.substr(typeBegin, kindAt - typeBegin) +
           "," + text.substr(kindBegin, kindEnd - kindBegin) + ">::" + text.substr(sep + 3, open - sep - 3);
}

[[noreturn]] void raise(int code, const char* message, const char* pretty)
{
    std::string name = instanceName(pretty);
    MVX_THROW(code, message, name.c_str());
}

} // namespace

void tooLarge(const char* pretty)
{
    raise(errOperationFailed,
          "SimpleArray: The size of the memory block exceeds 2GB, we could not deal with the request!", pretty);
}

void outOfMemory(const char* pretty)
{
    raise(errOutOfMemory, "SimpleArray: Out of memory!", pretty);
}

void noBlock(const char* pretty)
{
    raise(errInternalError, "SimpleArray: m_array==NULL!", pretty);
}

void subscript(const char* pretty)
{
    raise(errInvalidParam, "SimpleArray: subscript out of range", pretty);
}

void badInsertPos(const char* pretty)
{
    raise(errInvalidParam, "inPos out of the array!", pretty);
}

void badRemoveRange(const char* pretty)
{
    raise(errInvalidParam, "The range to remove is out of the array!", pretty);
}

} // namespace ArrayErrors
} // namespace Morvenix
