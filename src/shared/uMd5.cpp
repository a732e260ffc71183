#include "shared/uMd5.h"

#include <openssl/evp.h>
#include <stdexcept>

std::string Md5HexOf(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1)
        throw std::runtime_error("MD5 digest failed");
    std::string out(std::size_t(length) * 2, '\0');
    for (unsigned int i = 0; i < length; ++i) {
        out[2 * i] = kHex[digest[i] >> 4];
        out[2 * i + 1] = kHex[digest[i] & 15];
    }
    return out;
}

QString Md5Hex(const QByteArray& bytes) {
    return QString::fromStdString(Md5HexOf(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
}
