#pragma once

#include <QByteArray>
#include <QByteArrayView>

// AES in CBC mode with an all-zero initialisation vector and no padding, as
// the encrypted DC-09 frames use it: the caller pads the plain text to whole
// 16-byte blocks itself. The cipher is OpenSSL's (EVP interface); nothing of
// it is written here.
namespace AesCbc {

constexpr qsizetype kBlockLength = 16;

enum class Error {
    None,
    KeyLength,  // the key is not 16, 24 or 32 bytes (AES-128, -192, -256)
    DataLength, // the input is empty or not whole blocks
    Cipher,     // OpenSSL refused the operation
};

struct Result {
    QByteArray bytes; // empty unless error is None
    Error error = Error::None;

    bool ok() const { return error == Error::None; }
};

bool isKeyLength(qsizetype length);

Result encrypt(QByteArrayView key, QByteArrayView plain);
Result decrypt(QByteArrayView key, QByteArrayView cipher);

const char* errorText(Error error);

} // namespace AesCbc
