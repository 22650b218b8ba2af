// The firmware's crypto and digests: AES-192-CBC decryption, MD5 and CRC-32 (zlib form), over
// wolfCrypt; MD5 and CRC-32 also over a range of the simulated flash.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include <wolfssl/options.h>
#include <wolfssl/wolfcrypt/aes.h>
#include <wolfssl/wolfcrypt/md5.h>

namespace vprobe {

class TargetFlash;

using Md5Digest = std::array<uint8_t, 16>;

class Md5
{
public:
    Md5() { reset(); }
    void reset() { wc_InitMd5(&ctx); }
    void update(const uint8_t *data, size_t n) { wc_Md5Update(&ctx, data, word32(n)); }
    Md5Digest final();

private:
    wc_Md5 ctx;
};

// One CBC chain: keyed once, then decrypts successive whole blocks continuing the chain.
class CbcDecryptor
{
public:
    CbcDecryptor();
    ~CbcDecryptor();
    CbcDecryptor(const CbcDecryptor &) = delete;
    CbcDecryptor &operator=(const CbcDecryptor &) = delete;

    bool start(const uint8_t key[24], const uint8_t iv[16]);
    bool decrypt(const uint8_t *in, uint8_t *out, size_t n); // n: a multiple of 16

private:
    Aes aes;
};

uint32_t crc32Update(uint32_t crc, const uint8_t *data, size_t n); // crc 0 starts a new value
Md5Digest flashMd5(const TargetFlash &flash, uint32_t address, uint32_t length);
uint32_t flashCrc32(const TargetFlash &flash, uint32_t address, uint32_t length);

} // namespace vprobe
