// Crypto and digest helpers of the emulated firmware.
#include "probecrypto.h"

#include "targetflash.h"

namespace vprobe {

Md5Digest Md5::final()
{
    Md5Digest d{};
    wc_Md5Final(&ctx, d.data());
    return d;
}

CbcDecryptor::CbcDecryptor()
{
    wc_AesInit(&aes, nullptr, INVALID_DEVID);
}

CbcDecryptor::~CbcDecryptor()
{
    wc_AesFree(&aes);
}

bool CbcDecryptor::start(const uint8_t key[24], const uint8_t iv[16])
{
    return wc_AesSetKey(&aes, key, 24, iv, AES_DECRYPTION) == 0;
}

bool CbcDecryptor::decrypt(const uint8_t *in, uint8_t *out, size_t n)
{
    return n % 16 == 0 && wc_AesCbcDecrypt(&aes, out, in, word32(n)) == 0;
}

namespace {
// Reflected polynomial 0xEDB88320 (0x04C11DB7 bit-reversed), as zlib computes it.
const std::array<uint32_t, 256> crcTable = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}();
} // namespace

uint32_t crc32Update(uint32_t crc, const uint8_t *data, size_t n)
{
    crc = ~crc;
    for (size_t i = 0; i < n; ++i)
        crc = crcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

Md5Digest flashMd5(const TargetFlash &flash, uint32_t address, uint32_t length)
{
    Md5 md5;
    flash.visit(address, length, [&md5](const uint8_t *p, size_t n) { md5.update(p, n); });
    return md5.final();
}

uint32_t flashCrc32(const TargetFlash &flash, uint32_t address, uint32_t length)
{
    uint32_t crc = 0;
    flash.visit(address, length,
                [&crc](const uint8_t *p, size_t n) { crc = crc32Update(crc, p, n); });
    return crc;
}

} // namespace vprobe
