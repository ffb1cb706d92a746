// A stream over a byte vector for tests of code written against the Stream interface.
#pragma once

#include "mvx_exception.h"
#include "mvx_stream.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace MvxTest {

class VectorStream : public Morvenix::Stream {
public:
    explicit VectorStream(std::vector<unsigned char> inData = {}) : data(std::move(inData)) {}

    uint32_t readBytes(void* outBuffer, uint32_t inSize, bool inExact) override
    {
        reads.push_back(inSize);
        uint32_t n = uint32_t(std::min<size_t>(inSize, data.size() - pos));
        if (answersShort && n == 0 && inSize && ++emptyAnswers > kEmptyAnswersBeforeHang)
            throw std::runtime_error("the reader keeps asking a stream that has nothing more");
        if (inExact && n < inSize && !answersShort)
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
    // As a stream from outside the library may: an exact read it cannot serve whole answers with what
    // there is (0 at the end) instead of throwing. A reader that asks again and again after the end would
    // spin for ever; the stream fails the test instead.
    bool answersShort = false;

private:
    static const int kEmptyAnswersBeforeHang = 1000;
    int emptyAnswers = 0;
};

} // namespace MvxTest
