#include "signengine/base64.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kNotInAlphabet = 0x7F; // "=" has it too: padding is known by its place, not its value
constexpr std::uint32_t kInvalid = 0xFF000000u;

struct Tables
{
    // Both characters for every 12-bit value: one lookup encodes half of a three-byte group.
    char pairs[4096][2];
    unsigned char reverse[256];
    // The reverse table shifted into the place each character of a group takes in its 24 bits; an invalid
    // character sets the high byte, so a whole group is decoded and checked with four lookups and one test.
    std::uint32_t shifted[4][256];
};

constexpr Tables makeTables()
{
    Tables t{};
    for (int v = 0; v < 4096; ++v) {
        t.pairs[v][0] = kAlphabet[v >> 6];
        t.pairs[v][1] = kAlphabet[v & 63];
    }
    for (int c = 0; c < 256; ++c)
        t.reverse[c] = kNotInAlphabet;
    for (int v = 0; v < 64; ++v)
        t.reverse[static_cast<unsigned char>(kAlphabet[v])] = static_cast<unsigned char>(v);
    for (int c = 0; c < 256; ++c) {
        const std::uint32_t v = t.reverse[c];
        const bool valid = v != kNotInAlphabet;
        t.shifted[0][c] = valid ? v << 18 : kInvalid;
        t.shifted[1][c] = valid ? v << 12 : kInvalid;
        t.shifted[2][c] = valid ? v << 6 : kInvalid;
        t.shifted[3][c] = valid ? v : kInvalid;
    }
    return t;
}

constexpr Tables kTables = makeTables();

inline bool inAlphabet(char c)
{
    return kTables.reverse[static_cast<unsigned char>(c)] != kNotInAlphabet;
}

inline std::uint32_t groupValue(const char* in)
{
    return kTables.shifted[0][static_cast<unsigned char>(in[0])] |
           kTables.shifted[1][static_cast<unsigned char>(in[1])] |
           kTables.shifted[2][static_cast<unsigned char>(in[2])] |
           kTables.shifted[3][static_cast<unsigned char>(in[3])];
}

} // namespace

void base64EncodeGroup(const unsigned char* input, int count, char* output)
{
    if (count < 1 || count > 3)
        return;
    const std::uint32_t b0 = input[0];
    const std::uint32_t b1 = count > 1 ? input[1] : 0;
    const std::uint32_t b2 = count > 2 ? input[2] : 0;
    output[0] = kAlphabet[b0 >> 2];
    output[1] = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
    output[2] = count > 1 ? kAlphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
    output[3] = count > 2 ? kAlphabet[b2 & 63] : '=';
}

void base64DecodeGroup(const char* input, unsigned char* output, int* produced)
{
    int count = 0;
    if (input[2] == '=') {
        if (input[3] == '=' && inAlphabet(input[0]) && inAlphabet(input[1]))
            count = 1;
    } else if (input[3] == '=') {
        if (inAlphabet(input[0]) && inAlphabet(input[1]) && inAlphabet(input[2]))
            count = 2;
    } else if (inAlphabet(input[0]) && inAlphabet(input[1]) && inAlphabet(input[2]) && inAlphabet(input[3])) {
        count = 3;
    }
    if (count > 0) {
        // "=" maps to no bits here; the bytes it stands for are not produced.
        const unsigned p = kTables.reverse[static_cast<unsigned char>(input[0])];
        const unsigned q = kTables.reverse[static_cast<unsigned char>(input[1])];
        const unsigned r = count > 1 ? kTables.reverse[static_cast<unsigned char>(input[2])] : 0;
        const unsigned s = count > 2 ? kTables.reverse[static_cast<unsigned char>(input[3])] : 0;
        output[0] = static_cast<unsigned char>((p << 2) | (q >> 4));
        if (count > 1)
            output[1] = static_cast<unsigned char>(((q << 4) | (r >> 2)) & 0xFF);
        if (count > 2)
            output[2] = static_cast<unsigned char>(((r << 6) | s) & 0xFF);
    }
    // 0 marks a group that is no Base64 at all.
    *produced = count;
}

int base64Encode(const unsigned char* input, int length, char* output, int capacity, int* written)
{
    if (!output || length < 0 || (length > 0 && !input))
        return -1;
    const std::int64_t groups = (static_cast<std::int64_t>(length) + 2) / 3;
    const std::int64_t needed = 4 * groups;
    // The NUL needs its place too.
    if (needed >= capacity)
        return -1;
    if (written)
        *written = static_cast<int>(needed);

    const int fullGroups = length / 3;
    const unsigned char* in = input;
    char* out = output;
    for (int i = 0; i < fullGroups; ++i, in += 3, out += 4) {
        const std::uint32_t bits = (std::uint32_t(in[0]) << 16) | (std::uint32_t(in[1]) << 8) | in[2];
        std::memcpy(out, kTables.pairs[bits >> 12], 2);
        std::memcpy(out + 2, kTables.pairs[bits & 0xFFF], 2);
    }
    const int rest = length - 3 * fullGroups;
    if (rest > 0) {
        base64EncodeGroup(in, rest, out);
        out += 4;
    }
    *out = '\0';
    return 0;
}

int base64Decode(const char* input, int length, unsigned char* output, int capacity, int* written)
{
    if (!output || length < 0 || length % 4 != 0 || (length > 0 && !input))
        return -1;
    if (written)
        *written = 0;
    if (length == 0)
        return 0;
    if (capacity <= 0)
        return -1;

    const char* in = input;
    const char* const end = input + length;
    unsigned char* out = output;

    // Whole unpadded groups while the rest of the capacity surely holds them: no capacity test per group, two
    // groups per step, one test of both for a character outside the alphabet.
    const std::int64_t safeGroups = std::min<std::int64_t>(length / 4, capacity / 3);
    const char* const safeEnd = input + 4 * safeGroups;
    while (safeEnd - in >= 8) {
        const std::uint32_t first = groupValue(in);
        const std::uint32_t second = groupValue(in + 4);
        if ((first | second) & kInvalid)
            break;
        out[0] = static_cast<unsigned char>(first >> 16);
        out[1] = static_cast<unsigned char>(first >> 8);
        out[2] = static_cast<unsigned char>(first);
        out[3] = static_cast<unsigned char>(second >> 16);
        out[4] = static_cast<unsigned char>(second >> 8);
        out[5] = static_cast<unsigned char>(second);
        out += 6;
        in += 8;
    }

    // The rest one group at a time, padded groups and capacity included.
    int count = static_cast<int>(out - output);
    int result = 0;
    for (; in != end; in += 4) {
        const std::uint32_t bits = groupValue(in);
        if (!(bits & kInvalid)) {
            if (capacity - count < 3) {
                result = -1;
                break;
            }
            output[count] = static_cast<unsigned char>(bits >> 16);
            output[count + 1] = static_cast<unsigned char>(bits >> 8);
            output[count + 2] = static_cast<unsigned char>(bits);
            count += 3;
            continue;
        }
        unsigned char bytes[3];
        int produced = 0;
        base64DecodeGroup(in, bytes, &produced);
        if (produced == 0 || capacity - count < produced) {
            result = -1;
            break;
        }
        std::memcpy(output + count, bytes, static_cast<size_t>(produced));
        count += produced;
    }
    if (written)
        *written = count;
    return result;
}
