#include "common/AesCbc.h"

#include <openssl/evp.h>

#include <limits>
#include <memory>

namespace AesCbc {

namespace {

struct ContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_CIPHER_CTX, ContextFree>;

const EVP_CIPHER* cipherFor(qsizetype keyLength) {
    switch (keyLength) {
    case 16:
        return EVP_aes_128_cbc();
    case 24:
        return EVP_aes_192_cbc();
    case 32:
        return EVP_aes_256_cbc();
    default:
        return nullptr;
    }
}

enum class Direction { Decrypt = 0, Encrypt = 1 };

Result run(Direction direction, QByteArrayView key, QByteArrayView input) {
    const EVP_CIPHER* cipher = cipherFor(key.size());
    if (!cipher)
        return {{}, Error::KeyLength};
    if (input.isEmpty() || input.size() % kBlockLength != 0 || input.size() > std::numeric_limits<int>::max())
        return {{}, Error::DataLength};

    static constexpr unsigned char kZeroIv[kBlockLength] = {};
    const Context context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_CipherInit_ex(context.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()), kZeroIv,
                          int(direction)) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1)
        return {{}, Error::Cipher};

    // Without padding the output is exactly as long as the input.
    QByteArray output(input.size(), Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(output.data());
    int written = 0;
    int finalWritten = 0;
    if (EVP_CipherUpdate(context.get(), out, &written, reinterpret_cast<const unsigned char*>(input.data()),
                         int(input.size())) != 1 ||
        EVP_CipherFinal_ex(context.get(), out + written, &finalWritten) != 1 || written + finalWritten != output.size())
        return {{}, Error::Cipher};
    return {output, Error::None};
}

} // namespace

bool isKeyLength(qsizetype length) {
    return cipherFor(length) != nullptr;
}

Result encrypt(QByteArrayView key, QByteArrayView plain) {
    return run(Direction::Encrypt, key, plain);
}

Result decrypt(QByteArrayView key, QByteArrayView cipher) {
    return run(Direction::Decrypt, key, cipher);
}

const char* errorText(Error error) {
    switch (error) {
    case Error::None:
        return "ok";
    case Error::KeyLength:
        return "key is not 16, 24 or 32 bytes";
    case Error::DataLength:
        return "data is not whole 16-byte blocks";
    case Error::Cipher:
        return "the cipher refused the data";
    }
    return "?";
}

} // namespace AesCbc
