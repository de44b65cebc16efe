// The Base64 codec on arbitrary text and arbitrary bytes. Decoding is compared with a plain group-by-group
// decoder written from the codec's rules, so the fast paths cannot drift from them; encoding must round-trip
// and agree with libcrypto's encoder. Every buffer has exactly the stated capacity, so AddressSanitizer sees a
// single byte written past it.
#include "fuzzsupport.h"
#include "signengine/base64.h"

#include <openssl/evp.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace {

int valueOf(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Returns the decoded bytes, or false where the codec must fail.
bool referenceDecode(const unsigned char* in, std::size_t length, std::size_t capacity, std::vector<unsigned char>& out)
{
    out.clear();
    if (length % 4 != 0)
        return false;
    if (length > 0 && capacity == 0)
        return false;
    for (std::size_t i = 0; i < length; i += 4) {
        const unsigned char* g = in + i;
        std::size_t count = 3;
        if (g[2] == '=') {
            if (g[3] != '=')
                return false;
            count = 1;
        } else if (g[3] == '=') {
            count = 2;
        }
        for (std::size_t k = 0; k < count + 1; ++k) {
            if (valueOf(g[k]) < 0)
                return false;
        }
        if (capacity - out.size() < count)
            return false;
        const unsigned p = valueOf(g[0]), q = valueOf(g[1]);
        const unsigned r = count > 1 ? valueOf(g[2]) : 0, s = count > 2 ? valueOf(g[3]) : 0;
        out.push_back(static_cast<unsigned char>((p << 2) | (q >> 4)));
        if (count > 1)
            out.push_back(static_cast<unsigned char>(((q << 4) | (r >> 2)) & 0xFF));
        if (count > 2)
            out.push_back(static_cast<unsigned char>(((r << 6) | s) & 0xFF));
    }
    return true;
}

// A heap block of exactly capacity bytes (at least one, so that the pointer is never null).
std::unique_ptr<unsigned char[]> exactBuffer(std::size_t capacity)
{
    return std::unique_ptr<unsigned char[]>(new unsigned char[capacity > 0 ? capacity : 1]);
}

void checkDecode(const unsigned char* text, std::size_t length, std::size_t capacity)
{
    std::vector<unsigned char> expected;
    const bool valid = referenceDecode(text, length, capacity, expected);
    auto buffer = exactBuffer(capacity);
    int written = -1;
    const int result = base64Decode(reinterpret_cast<const char*>(text), static_cast<int>(length), buffer.get(),
                                    static_cast<int>(capacity), &written);
    fuzzing::require(result == (valid ? 0 : -1), "decoding accepts exactly what the rules accept");
    if (valid) {
        fuzzing::require(written == static_cast<int>(expected.size()), "the decoded length");
        fuzzing::require(expected.empty() || std::memcmp(buffer.get(), expected.data(), expected.size()) == 0,
                         "the decoded bytes");
    } else if (length % 4 == 0) {
        fuzzing::require(written >= 0 && static_cast<std::size_t>(written) <= capacity,
                         "a failed decode stays inside the buffer");
    }
}

void checkRoundTrip(const unsigned char* bytes, std::size_t length)
{
    const std::size_t needed = 4 * ((length + 2) / 3);
    // One byte short of room for the NUL: refused, nothing written.
    {
        auto tight = exactBuffer(needed);
        int written = -7;
        fuzzing::require(base64Encode(bytes, static_cast<int>(length), reinterpret_cast<char*>(tight.get()),
                                      static_cast<int>(needed), &written) == -1 &&
                             written == -7,
                         "encoding refuses a buffer without room for the NUL");
    }
    auto encoded = exactBuffer(needed + 1);
    int written = -1;
    fuzzing::require(base64Encode(bytes, static_cast<int>(length), reinterpret_cast<char*>(encoded.get()),
                                  static_cast<int>(needed + 1), &written) == 0 &&
                         written == static_cast<int>(needed) && encoded[needed] == '\0',
                     "encoding into a buffer of the stated size");

    auto expected = exactBuffer(needed + 1);
    EVP_EncodeBlock(expected.get(), bytes, static_cast<int>(length));
    fuzzing::require(std::memcmp(encoded.get(), expected.get(), needed) == 0, "the same text as libcrypto");

    auto decoded = exactBuffer(length);
    int produced = -1;
    fuzzing::require(base64Decode(reinterpret_cast<const char*>(encoded.get()), static_cast<int>(needed), decoded.get(),
                                  static_cast<int>(length), &produced) == 0 &&
                         produced == static_cast<int>(length) &&
                         (length == 0 || std::memcmp(decoded.get(), bytes, length) == 0),
                     "the round trip");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > INT_MAX / 2)
        return 0;
    // The whole input as text, with the capacity that the engine gives it and with an exact one.
    checkDecode(data, size, size / 4 * 3);
    std::vector<unsigned char> exact;
    if (referenceDecode(data, size, size, exact))
        checkDecode(data, size, exact.size());
    // The first byte as a small capacity, so that the capacity checks of every group are reached.
    if (size > 0)
        checkDecode(data + 1, size - 1, data[0] % 16);
    checkRoundTrip(data, size);
    return 0;
}
