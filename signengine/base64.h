#ifndef SIGNENGINE_BASE64_H
#define SIGNENGINE_BASE64_H

// Strict standard Base64 (RFC 4648 alphabet, "=" padding) for signatures and ciphertexts. Nothing is wrapped on
// output and nothing is skipped on input: a pasted text with a line break or a blank is refused, never repaired.
// Both functions write into the caller's buffer and return 0 for success or -1 for failure.

// Writes 4 * ceil(length / 3) characters and a terminating NUL; capacity must exceed the character count.
// On failure nothing is written and *written is left as it was.
int base64Encode(const unsigned char* input, int length, char* output, int capacity, int* written);

// Decodes whole groups of four characters; a padded group may stand anywhere and decodes by itself. The unused
// bits of a padded group's last data character are ignored. On failure the output may hold the bytes of the
// groups decoded so far.
int base64Decode(const char* input, int length, unsigned char* output, int capacity, int* written);

// Building blocks of the two above: one group of 1 to 3 bytes into 4 characters (another count writes nothing),
// and 4 characters, already checked, into 1 to 3 bytes.
void base64EncodeGroup(const unsigned char* input, int count, char* output);
void base64DecodeGroup(const char* input, unsigned char* output, int* produced);

#endif // SIGNENGINE_BASE64_H
