// Chunk payloads written and read through a stream, plain and through BZZ: what a writer writes reads
// back, the compressed form is what the reference tool decodes, and failures leave no chunk behind.
#include "djv_payload.h"

#include "bzz_chunk_damage.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

using Morvenix::AutoPtr;
using Morvenix::Stream;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::MemoryData;
typedef std::vector<unsigned char> Bytes;

Bytes sample(size_t inSize)
{
    Bytes b(inSize);
    for (size_t i = 0; i < inSize; ++i)
        b[i] = uint8_t((i * 31) ^ (i >> 9));
    return b;
}

// Written in two pieces, so that a writer's separate writes land in one payload.
Morvenix::DjVu::PayloadWriter writerOf(const Bytes& inBytes)
{
    return [&inBytes](Stream& outStream) {
        const uint32_t half = uint32_t(inBytes.size() / 2);
        outStream.writeBytes(inBytes.data(), half);
        outStream.writeBytes(inBytes.data() + half, uint32_t(inBytes.size()) - half);
    };
}

Bytes readAll(Stream& inStream)
{
    Bytes all;
    unsigned char buffer[4096];
    while (uint32_t n = inStream.readBytes(buffer, sizeof buffer, false))
        all.insert(all.end(), buffer, buffer + n);
    return all;
}

class Payload : public MvxTest::HostToolTest {};

TEST_F(Payload, WhatTheWriterWritesReadsBack)
{
    // Empty, small, and more than one BZZ block of 1 MB.
    for (size_t size : {size_t(0), size_t(3), size_t(1500000)}) {
        const Bytes bytes = sample(size);
        for (bool compressed : {false, true}) {
            SCOPED_TRACE(testing::Message() << size << (compressed ? " compressed" : " plain"));
            AutoPtr<Chunk> chunk = Morvenix::DjVu::makePayloadChunk("TEST", compressed, writerOf(bytes));
            EXPECT_EQ(Morvenix::String("TEST"), chunk->getId());
            if (!compressed) {
                EXPECT_EQ(bytes, MvxTest::chunkBody(*chunk));
            }
            AutoPtr<Stream> in = Morvenix::DjVu::openPayload(*chunk, compressed, "TEST", "payload_test", "Here");
            EXPECT_EQ(bytes, readAll(*in));
            if (compressed) {
                // The reference decoder reads the same bytes out of the payload.
                MvxTest::writeFile(path("in.bzz"), MvxTest::chunkBody(*chunk));
                ASSERT_EQ(0, MvxTest::runHostTool("bzz -d " + host("in.bzz") + " " + host("out")));
                EXPECT_EQ(bytes, MvxTest::readFile(path("out")));
            }
        }
    }
}

// A page holds its small payloads for a long time: none keeps the writer's spare room.
TEST_F(Payload, PayloadsKeepNoSpareCapacity)
{
    const Bytes bytes = sample(1000);
    for (bool compressed : {false, true}) {
        AutoPtr<MemoryData> data = Morvenix::DjVu::makePayload(compressed, writerOf(bytes));
        AutoPtr<Morvenix::MemoryStorage> storage = data->getStorage();
        EXPECT_EQ(storage->getArray().count(), storage->getArray().capacity()) << compressed;
    }
}

TEST_F(Payload, AWriterThatThrowsMakesNoChunk)
{
    for (bool compressed : {false, true}) {
        AutoPtr<Chunk> chunk;
        EXPECT_THROW(chunk = Morvenix::DjVu::makePayloadChunk("TEST", compressed,
                                                               [](Stream& outStream) {
                                                                   outStream.writeBytes("ab", 2);
                                                                   throw std::runtime_error("refused");
                                                               }),
                     std::runtime_error);
        EXPECT_FALSE(chunk);
    }
}

TEST_F(Payload, AChunkWithoutPayloadIsRefusedInTheNameOfItsReader)
{
    AutoPtr<Chunk> empty = Chunk::create("TXTz");
    for (bool compressed : {false, true})
        MvxTest::expectThrow(
            [&] { Morvenix::DjVu::openPayload(*empty, compressed, "TXT*", "some_reader", "Some::read"); },
            Morvenix::errInvalidParam, "The TXT* chunk has no data!", "some_reader(");
}

} // namespace
