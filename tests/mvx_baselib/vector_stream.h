// A stream over a byte vector for tests of code written against the Stream interface.
#pragma once

#include "mvx_exception.h"
#include "mvx_stream.h"

#include <algorithm>
#include <vector>

namespace MvxTest {

class VectorStream : public Morvenix::Stream {
public:
    explicit VectorStream(std::vector<unsigned char> inData = {}) : data(std::move(inData)) {}

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        reads.push_back(inSize);
        uint32_t n = uint32_t(std::min<size_t>(inSize, data.size() - pos));
        if (inExact && n < inSize)
            throw Morvenix::Exception(Morvenix::errEOF, "errEOF", "vector_stream", __LINE__,
                                      "MvxTest::VectorStream::readBytes");
        std::copy(data.begin() + pos, data.begin() + pos + n, static_cast<unsigned char*>(outBuffer));
        pos += n;
        return n;
    }
    void writeBytes(const void* inBuffer, uint32_t inSize) override
    {
        if (written.size() + inSize > writeLimit)
            throw Morvenix::Exception(Morvenix::errWriteFailed, "errWriteFailed", "vector_stream", __LINE__,
                                      "MvxTest::VectorStream::writeBytes");
        const unsigned char* p = static_cast<const unsigned char*>(inBuffer);
        written.insert(written.end(), p, p + inSize);
    }
    void flushBuffer() override {}
    bool isEof() override { return pos >= data.size(); }
    void lock() override {}
    void unlock() override {}

    std::vector<unsigned char> data;
    size_t pos = 0;
    std::vector<unsigned char> written;
    std::vector<uint32_t> reads;
    size_t writeLimit = size_t(-1);
};

} // namespace MvxTest
