// Message digests (SHA-1, MD5, SHA-256), fed directly or computed on the bytes that pass through a
// stream, so that a digest can follow data as a trailer and be checked when the data is read back.
#pragma once

#include "mvx_referable.h"
#include "mvx_stream.h"

#include <cstddef>
#include <cstdint>

namespace Morvenix {

class String;

class Checksum : public Referable {
public:
    // Starts a new message.
    virtual void reset() = 0;
    // The UTF-8 bytes of the text, without a terminator.
    virtual void update(const String& inText) = 0;
    virtual void update(const void* inData, size_t inSize) = 0;
    virtual uint32_t getDigestSize() = 0;
    // The digest of everything hashed since the last reset; hashing may go on afterwards. The bytes live
    // inside the object and are overwritten by the next call.
    virtual const unsigned char* getDigest() = 0;
};

class SHA1Checksum : public Checksum {
public:
    static AutoPtr<SHA1Checksum> create();
};

class MD5Checksum : public Checksum {
public:
    static AutoPtr<MD5Checksum> create();
};

class SHA256Checksum : public Checksum {
public:
    static AutoPtr<SHA256Checksum> create();
};

// Passes reads and writes through to the wrapped stream and hashes the bytes on the way. It takes no
// reference on the wrapped stream: the caller keeps that stream alive for the checksum stream's life.
class ChecksumStream : public Stream {
public:
    // Appends the digest to inOutput (null: the wrapped stream); the digest itself is not hashed.
    virtual void writeDigest(Stream* inOutput = nullptr) = 0;
    // Reads a digest from inInput (null: the wrapped stream) with an exact read and compares it.
    virtual bool verify(Stream* inInput = nullptr) = 0;
    // Restarts the running digest; a digest already finalised stays what it was.
    virtual void reset() = 0;
    // The digest of what passed until the first call; later calls return the same bytes.
    virtual const unsigned char* finalize() = 0;
    virtual uint32_t getDigestSize() = 0;
};

class SHA1Stream : public ChecksumStream {
public:
    static AutoPtr<SHA1Stream> create(Stream& inStream);
};

class MD5Stream : public ChecksumStream {
public:
    static AutoPtr<MD5Stream> create(Stream& inStream);
};

class SHA256Stream : public ChecksumStream {
public:
    static AutoPtr<SHA256Stream> create(Stream& inStream);
};

// The algorithms. Each one: its running state, initialisation, update and the final padding and length
// written into a digest buffer of digestSize bytes (the state passed to finish is used up).
struct SHA1Traits {
    static constexpr uint32_t digestSize = 20;
    struct State {
        uint32_t h[5];
        uint32_t bitsLow, bitsHigh;
        uint32_t fill;
        unsigned char block[64];
    };
    static void init(State& outState);
    static void update(State& ioState, const unsigned char* inData, size_t inSize);
    static void finish(State& ioState, unsigned char* outDigest);
    // Lower-case hexadecimal, two digits a byte.
    static String digestToHex(const unsigned char* inDigest);
};

struct MD5Traits {
    static constexpr uint32_t digestSize = 16;
    struct State {
        uint32_t h[4];
        uint32_t bitsLow, bitsHigh;
        unsigned char block[64];
    };
    static void init(State& outState);
    static void update(State& ioState, const unsigned char* inData, size_t inSize);
    static void finish(State& ioState, unsigned char* outDigest);
    static String digestToHex(const unsigned char* inDigest);
};

struct SHA256Traits {
    static constexpr uint32_t digestSize = 32;
    struct State {
        uint32_t bytesLow, bytesHigh;
        uint32_t h[8];
        unsigned char block[64];
    };
    static void init(State& outState);
    static void update(State& ioState, const unsigned char* inData, size_t inSize);
    static void finish(State& ioState, unsigned char* outDigest);
    static String digestToHex(const unsigned char* inDigest);
};

} // namespace Morvenix
