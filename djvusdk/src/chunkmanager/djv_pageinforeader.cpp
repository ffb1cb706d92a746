// A page's INFO values read from its "INFO" chunk.
#include "djv_pageinforeader.h"

#include "mvx_exception.h"

#define MVX_SOURCE "djv_pageinforeader"

namespace Morvenix {
namespace DjVu {

namespace {

uint32_t readByte(Stream& inStream)
{
    unsigned char b = 0;
    readExactly(inStream, &b, 1, "Morvenix::DjVu::readPageInfo");
    return b;
}

} // namespace

PageInfo readPageInfo(const Chunk& inInfoChunk)
{
    AutoPtr<Data> data = inInfoChunk.getData();
    if (!data)
        MVX_THROW(errDataBroken, "The INFO chunk has no data!", "Morvenix::DjVu::readPageInfo");
    AutoPtr<Storage> storage = data->getReadStorage(true);

    PageInfo info = {0, 0, 25, 0, 300, 22, 1};
    // Width and height are big-endian; the resolution alone is little-endian.
    info.width = readByte(*storage) << 8;
    info.width |= readByte(*storage);
    info.height = readByte(*storage) << 8;
    info.height |= readByte(*storage);
    info.version = readByte(*storage);
    info.majorVersion = readByte(*storage);
    info.dpi = readByte(*storage);
    info.dpi |= readByte(*storage) << 8;
    info.gamma = readByte(*storage);
    info.flags = readByte(*storage);
    return info;
}

} // namespace DjVu
} // namespace Morvenix
