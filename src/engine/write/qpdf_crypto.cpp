// qpdf hashes and encrypts through gnutls. Linked as a dependency, gnutls and the
// eight libraries it brings are loaded and initialised at every start of every
// program using the engine, about 6 ms, and loading them on a second thread slows
// the one reading the documents about as much. Writing a PDF needs MD5 only: qpdf
// hashes every object it writes, encrypted or not, and the file's identifier.
//
// These definitions stand in for the ten gnutls functions qpdf calls. MD5 comes
// from nettle, the one small library gnutls hashes with, loaded when first needed;
// random bytes come from the kernel. gnutls itself is loaded only for anything else
// (encryption, another digest), which the engine never asks for.
//
// They are hidden: nothing outside this program sees them, so a real gnutls,
// once loaded, resolves its own calls to itself and never to these.

#include <dlfcn.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <nettle/md5.h>
#include <nettle/version.h>
#include <sys/random.h>

#include <cerrno>
#include <mutex>
#include <new>
#include <string>

static_assert(GNUTLS_VERSION_MAJOR == 3, "the library's file name below is gnutls 3's");
static_assert(NETTLE_VERSION_MAJOR == 3 && NETTLE_VERSION_MINOR >= 6,
              "the library's file name below is nettle 3.6's and later");

namespace folio::engine {
namespace {

template <typename Function>
bool Find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

struct Nettle {
    static constexpr const char* kName = "libnettle.so.8";
    decltype(&::nettle_md5_init) md5Init = nullptr;
    decltype(&::nettle_md5_update) md5Update = nullptr;
    decltype(&::nettle_md5_digest) md5Digest = nullptr;
    std::string failure;  // why it cannot be used, for gnutls_strerror

    bool FindAll(void* library) {
        return Find(library, "nettle_md5_init", md5Init) &&
               Find(library, "nettle_md5_update", md5Update) &&
               Find(library, "nettle_md5_digest", md5Digest);
    }
};

struct Gnutls {
    static constexpr const char* kName = "libgnutls.so.30";
    decltype(&::gnutls_cipher_init) cipherInit = nullptr;
    decltype(&::gnutls_cipher_encrypt2) cipherEncrypt2 = nullptr;
    decltype(&::gnutls_cipher_decrypt2) cipherDecrypt2 = nullptr;
    decltype(&::gnutls_cipher_deinit) cipherDeinit = nullptr;
    decltype(&::gnutls_cipher_get_key_size) cipherGetKeySize = nullptr;
    decltype(&::gnutls_hash_init) hashInit = nullptr;
    decltype(&::gnutls_hash) hash = nullptr;
    decltype(&::gnutls_hash_deinit) hashDeinit = nullptr;
    decltype(&::gnutls_strerror) strerror = nullptr;
    std::string failure;

    bool FindAll(void* library) {
        return Find(library, "gnutls_cipher_init", cipherInit) &&
               Find(library, "gnutls_cipher_encrypt2", cipherEncrypt2) &&
               Find(library, "gnutls_cipher_decrypt2", cipherDecrypt2) &&
               Find(library, "gnutls_cipher_deinit", cipherDeinit) &&
               Find(library, "gnutls_cipher_get_key_size", cipherGetKeySize) &&
               Find(library, "gnutls_hash_init", hashInit) && Find(library, "gnutls_hash", hash) &&
               Find(library, "gnutls_hash_deinit", hashDeinit) &&
               Find(library, "gnutls_strerror", strerror);
    }
};

// The library, loaded once by whichever thread asks first while the others wait;
// it stays loaded until the program ends. All its functions, or none and why.
template <typename Library>
const Library& Loaded() {
    static Library library;
    static std::once_flag once;
    std::call_once(once, [] {
        void* handle = ::dlopen(Library::kName, RTLD_NOW | RTLD_LOCAL);
        Library found;
        if (handle == nullptr) {
            const char* why = ::dlerror();
            library.failure = why != nullptr ? why : std::string(Library::kName) + " is missing";
        } else if (!found.FindAll(handle)) {
            library.failure = std::string(Library::kName) + " lacks a function qpdf needs";
        } else {
            library = found;
        }
    });
    return library;
}

const Nettle& NettleLibrary() {
    return Loaded<Nettle>();
}

const Gnutls& GnutlsLibrary() {
    return Loaded<Gnutls>();
}

// What a gnutls_hash_hd_t handed to qpdf points to: an MD5 of our own or a real
// gnutls hash.
struct Hash {
    bool md5 = false;
    md5_ctx context{};
    gnutls_hash_hd_t real = nullptr;
};

Hash* ToHash(gnutls_hash_hd_t handle) {
    return reinterpret_cast<Hash*>(handle);
}

// The last loading failure, kept for gnutls_strerror: qpdf asks for the text of
// an error code right after the call that returned it.
thread_local std::string lastFailure;

int Failed(const std::string& failure) {
    lastFailure = failure;
    return GNUTLS_E_CRYPTO_INIT_FAILED;
}

}  // namespace

}  // namespace folio::engine

using namespace folio::engine;

#define FOLIO_STAND_IN extern "C" __attribute__((visibility("hidden")))

FOLIO_STAND_IN int gnutls_hash_init(gnutls_hash_hd_t* dig, gnutls_digest_algorithm_t algorithm) {
    auto* hash = new (std::nothrow) Hash;
    if (hash == nullptr) {
        return GNUTLS_E_MEMORY_ERROR;
    }
    if (algorithm == GNUTLS_DIG_MD5) {
        const Nettle& nettle = NettleLibrary();
        if (nettle.md5Init == nullptr) {
            delete hash;
            return Failed(nettle.failure);
        }
        hash->md5 = true;
        nettle.md5Init(&hash->context);
    } else {
        const Gnutls& gnutls = GnutlsLibrary();
        const int status =
            gnutls.hashInit ? gnutls.hashInit(&hash->real, algorithm) : Failed(gnutls.failure);
        if (status < 0) {
            delete hash;
            return status;
        }
    }
    *dig = reinterpret_cast<gnutls_hash_hd_t>(hash);
    return 0;
}

// A handle exists only if its library was loaded.
FOLIO_STAND_IN int gnutls_hash(gnutls_hash_hd_t handle, const void* text, size_t textlen) {
    Hash* hash = ToHash(handle);
    if (hash->md5) {
        NettleLibrary().md5Update(&hash->context, textlen, static_cast<const uint8_t*>(text));
        return 0;
    }
    return GnutlsLibrary().hash(hash->real, text, textlen);
}

FOLIO_STAND_IN void gnutls_hash_deinit(gnutls_hash_hd_t handle, void* digest) {
    Hash* hash = ToHash(handle);
    if (hash->md5) {
        if (digest != nullptr) {
            NettleLibrary().md5Digest(&hash->context, MD5_DIGEST_SIZE,
                                      static_cast<uint8_t*>(digest));
        }
    } else {
        GnutlsLibrary().hashDeinit(hash->real, digest);
    }
    delete hash;
}

FOLIO_STAND_IN int gnutls_rnd(gnutls_rnd_level_t /*level*/, void* data, size_t len) {
    auto* bytes = static_cast<uint8_t*>(data);
    while (len > 0) {
        const ssize_t got = ::getrandom(bytes, len, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return GNUTLS_E_RANDOM_FAILED;
        }
        bytes += got;
        len -= static_cast<size_t>(got);
    }
    return 0;
}

FOLIO_STAND_IN int gnutls_cipher_init(gnutls_cipher_hd_t* handle, gnutls_cipher_algorithm_t cipher,
                                      const gnutls_datum_t* key, const gnutls_datum_t* iv) {
    const Gnutls& gnutls = GnutlsLibrary();
    return gnutls.cipherInit ? gnutls.cipherInit(handle, cipher, key, iv) : Failed(gnutls.failure);
}

FOLIO_STAND_IN int gnutls_cipher_encrypt2(gnutls_cipher_hd_t handle, const void* text,
                                          size_t textlen, void* ciphertext, size_t ciphertextlen) {
    return GnutlsLibrary().cipherEncrypt2(handle, text, textlen, ciphertext, ciphertextlen);
}

FOLIO_STAND_IN int gnutls_cipher_decrypt2(gnutls_cipher_hd_t handle, const void* ciphertext,
                                          size_t ciphertextlen, void* text, size_t textlen) {
    return GnutlsLibrary().cipherDecrypt2(handle, ciphertext, ciphertextlen, text, textlen);
}

FOLIO_STAND_IN void gnutls_cipher_deinit(gnutls_cipher_hd_t handle) {
    GnutlsLibrary().cipherDeinit(handle);
}

FOLIO_STAND_IN size_t gnutls_cipher_get_key_size(gnutls_cipher_algorithm_t algorithm) {
    const Gnutls& gnutls = GnutlsLibrary();
    return gnutls.cipherGetKeySize ? gnutls.cipherGetKeySize(algorithm) : 0;
}

FOLIO_STAND_IN const char* gnutls_strerror(int error) {
    if (error == GNUTLS_E_CRYPTO_INIT_FAILED && !lastFailure.empty()) {
        return lastFailure.c_str();
    }
    if (error == GNUTLS_E_RANDOM_FAILED) {
        return "the system gave no random bytes";
    }
    const Gnutls& gnutls = GnutlsLibrary();
    return gnutls.strerror ? gnutls.strerror(error) : gnutls.failure.c_str();
}
