#include "crypto/pkcs12limits.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <cstdint>

namespace crypto {

namespace {

bool countWithinLimit(const ASN1_INTEGER* count, std::int64_t limit)
{
    // Absent means one iteration; a count too large for 64 bits is over any limit.
    std::int64_t value = 0;
    return !count || (ASN1_INTEGER_get_int64(&value, count) == 1 && value <= limit);
}

template <typename Params> Params* unpack(const ASN1_TYPE* parameter, const ASN1_ITEM* item)
{
    return static_cast<Params*>(ASN1_TYPE_unpack_sequence(item, parameter));
}

bool derivationWithinLimit(const X509_ALGOR* algorithm);

bool pbes2WithinLimit(const ASN1_TYPE* parameter)
{
    PBE2PARAM* params = unpack<PBE2PARAM>(parameter, ASN1_ITEM_rptr(PBE2PARAM));
    const bool within = !params || derivationWithinLimit(params->keyfunc);
    PBE2PARAM_free(params);
    return within;
}

bool pbkdf2WithinLimit(const ASN1_TYPE* parameter)
{
    PBKDF2PARAM* params = unpack<PBKDF2PARAM>(parameter, ASN1_ITEM_rptr(PBKDF2PARAM));
    const bool within = !params || countWithinLimit(params->iter, kMaxPkcs12Iterations);
    PBKDF2PARAM_free(params);
    return within;
}

#ifndef OPENSSL_NO_SCRYPT
bool scryptWithinLimit(const ASN1_TYPE* parameter)
{
    SCRYPT_PARAMS* params = unpack<SCRYPT_PARAMS>(parameter, ASN1_ITEM_rptr(SCRYPT_PARAMS));
    bool within = true;
    if (params) {
        // The work grows with N * r * p, which the common N = 2^14, r = 8, p = 1 puts at 2^17; the bound is 16 times
        // the iteration limit. Each factor is bounded first, so that the product cannot overflow.
        std::int64_t n = 0, r = 0, p = 0;
        const std::int64_t limit = static_cast<std::int64_t>(kMaxPkcs12Iterations) * 16;
        within = ASN1_INTEGER_get_int64(&n, params->costParameter) == 1 &&
                 ASN1_INTEGER_get_int64(&r, params->blockSize) == 1 &&
                 ASN1_INTEGER_get_int64(&p, params->parallelizationParameter) == 1 && n <= limit && r <= limit &&
                 p <= limit && (n <= 0 || r <= 0 || p <= 0 || n * r <= limit / p);
    }
    SCRYPT_PARAMS_free(params);
    return within;
}
#endif

// PKCS#5 v2 (PBKDF2 or scrypt under PBES2), and the PKCS#12 and PKCS#5 v1 algorithms with a salt and a count.
bool derivationWithinLimit(const X509_ALGOR* algorithm)
{
    if (!algorithm)
        return true;
    const ASN1_OBJECT* object = nullptr;
    int type = 0;
    const void* value = nullptr;
    X509_ALGOR_get0(&object, &type, &value, algorithm);
    if (type != V_ASN1_SEQUENCE)
        return true;
    const int nid = OBJ_obj2nid(object);
    switch (nid) {
    case NID_pbes2:
        return pbes2WithinLimit(algorithm->parameter);
    case NID_id_pbkdf2:
        return pbkdf2WithinLimit(algorithm->parameter);
#ifndef OPENSSL_NO_SCRYPT
    case NID_id_scrypt:
        return scryptWithinLimit(algorithm->parameter);
#endif
    default:
        break;
    }
    if (EVP_PBE_find(EVP_PBE_TYPE_OUTER, nid, nullptr, nullptr, nullptr) != 1)
        return true;
    PBEPARAM* params = unpack<PBEPARAM>(algorithm->parameter, ASN1_ITEM_rptr(PBEPARAM));
    const bool within = !params || countWithinLimit(params->iter, kMaxPkcs12Iterations);
    PBEPARAM_free(params);
    return within;
}

bool bagsWithinLimit(const STACK_OF(PKCS12_SAFEBAG) * bags)
{
    for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
        const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags, i);
        switch (PKCS12_SAFEBAG_get_nid(bag)) {
        case NID_pkcs8ShroudedKeyBag: {
            const X509_ALGOR* algorithm = nullptr;
            X509_SIG_get0(PKCS12_SAFEBAG_get0_pkcs8(bag), &algorithm, nullptr);
            if (!derivationWithinLimit(algorithm))
                return false;
            break;
        }
        case NID_safeContentsBag:
            // Nesting is bounded by the depth that the library's decoder accepts.
            if (!bagsWithinLimit(PKCS12_SAFEBAG_get0_safes(bag)))
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

// The same for bags that were unpacked for the check, which it frees; none (not decoded) is left to PKCS12_parse.
bool unpackedBagsWithinLimit(STACK_OF(PKCS12_SAFEBAG) * bags)
{
    const bool within = !bags || bagsWithinLimit(bags);
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
    return within;
}

// Opening an encrypted part derives its key; then its bags are seen as PKCS12_parse will see them.
bool encryptedPartWithinLimit(PKCS7* part, const QByteArray& password)
{
    const PKCS7_ENC_CONTENT* content = part->d.encrypted ? part->d.encrypted->enc_data : nullptr;
    if (!content)
        return true;
    if (!derivationWithinLimit(content->algorithm) ||
        !unpackedBagsWithinLimit(PKCS12_unpack_p7encdata(part, password.constData(), -1)))
        return false;
    // For an empty password the library takes "no password" instead of "" if the MAC says so.
    return !password.isEmpty() || unpackedBagsWithinLimit(PKCS12_unpack_p7encdata(part, nullptr, -1));
}

bool partWithinLimit(PKCS7* part, const QByteArray& password)
{
    switch (OBJ_obj2nid(part->type)) {
    case NID_pkcs7_data:
        return unpackedBagsWithinLimit(PKCS12_unpack_p7data(part));
    case NID_pkcs7_encrypted:
        return encryptedPartWithinLimit(part, password);
    default:
        return true;
    }
}

} // namespace

bool pkcs12WorkWithinLimit(const PKCS12* pkcs12, const QByteArray& password)
{
    if (!pkcs12)
        return true;
    if (PKCS12_mac_present(pkcs12)) {
        const ASN1_INTEGER* iterations = nullptr;
        PKCS12_get0_mac(nullptr, nullptr, nullptr, &iterations, pkcs12);
        if (!countWithinLimit(iterations, kMaxPkcs12Iterations))
            return false;
    }
    // What fails to decode or decrypt here is reported by PKCS12_parse, in its own words.
    ERR_set_mark();
    STACK_OF(PKCS7)* parts = PKCS12_unpack_authsafes(pkcs12);
    bool within = true;
    for (int i = 0; within && i < sk_PKCS7_num(parts); ++i)
        within = partWithinLimit(sk_PKCS7_value(parts, i), password);
    sk_PKCS7_pop_free(parts, PKCS7_free);
    ERR_pop_to_mark();
    return within;
}

} // namespace crypto
