#pragma once

#include <QByteArray>

#include <openssl/evp.h>

#include <memory>

namespace lumarient::test {

// A fresh ed25519 key pair standing in for the release signing key.
class TestSigner {
public:
    TestSigner()
    {
        EVP_PKEY *key = nullptr;
        EVP_PKEY_CTX *context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
        EVP_PKEY_keygen_init(context);
        EVP_PKEY_keygen(context, &key);
        EVP_PKEY_CTX_free(context);
        key_.reset(key);
    }

    QByteArray publicKey() const
    {
        QByteArray raw(32, '\0');
        size_t length = raw.size();
        EVP_PKEY_get_raw_public_key(key_.get(), reinterpret_cast<unsigned char *>(raw.data()), &length);
        return raw;
    }

    QByteArray sign(const QByteArray &message) const
    {
        QByteArray signature(64, '\0');
        size_t length = signature.size();
        const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get());
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &length,
                       reinterpret_cast<const unsigned char *>(message.constData()), message.size());
        return signature;
    }

private:
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key_{nullptr, &EVP_PKEY_free};
};

} // namespace lumarient::test
