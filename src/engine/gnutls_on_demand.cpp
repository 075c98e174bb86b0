// qpdf hashes and encrypts through gnutls. Linked as a dependency, gnutls and
// the eight libraries it brings are loaded and initialised at every start of every
// program using the engine, about 6 ms, although only writing a PDF calls it (for
// the file's identifier). These definitions stand in for the ten functions qpdf
// calls and load gnutls on the first call, or when LoadPdfCrypto asks for it early.
//
// They are hidden: nothing outside this program sees them, so the real library,
// once loaded, resolves its own calls to itself and never to these.

#include "engine/gnutls_on_demand.h"

#include <dlfcn.h>

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <mutex>
#include <string>

static_assert(GNUTLS_VERSION_MAJOR == 3, "the library's file name below is gnutls 3's");

namespace folio::engine {
namespace {

constexpr const char* kLibrary = "libgnutls.so.30";

struct Gnutls {
    decltype(&::gnutls_cipher_init) cipherInit = nullptr;
    decltype(&::gnutls_cipher_encrypt2) cipherEncrypt2 = nullptr;
    decltype(&::gnutls_cipher_decrypt2) cipherDecrypt2 = nullptr;
    decltype(&::gnutls_cipher_deinit) cipherDeinit = nullptr;
    decltype(&::gnutls_cipher_get_key_size) cipherGetKeySize = nullptr;
    decltype(&::gnutls_hash_init) hashInit = nullptr;
    decltype(&::gnutls_hash) hash = nullptr;
    decltype(&::gnutls_hash_deinit) hashDeinit = nullptr;
    decltype(&::gnutls_rnd) rnd = nullptr;
    decltype(&::gnutls_strerror) strerror = nullptr;
    // Why loading failed, for the message qpdf asks for.
    std::string failure;
};

template <typename Function>
bool Find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

// Loaded once, by whichever thread asks first; the others wait for it. The
// library stays loaded until the program ends.
const Gnutls& Library() {
    static Gnutls gnutls;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* why = ::dlerror();
            gnutls.failure = why != nullptr ? why : std::string(kLibrary) + " could not be loaded";
            return;
        }
        Gnutls found;
        if (!(Find(library, "gnutls_cipher_init", found.cipherInit) &&
              Find(library, "gnutls_cipher_encrypt2", found.cipherEncrypt2) &&
              Find(library, "gnutls_cipher_decrypt2", found.cipherDecrypt2) &&
              Find(library, "gnutls_cipher_deinit", found.cipherDeinit) &&
              Find(library, "gnutls_cipher_get_key_size", found.cipherGetKeySize) &&
              Find(library, "gnutls_hash_init", found.hashInit) &&
              Find(library, "gnutls_hash", found.hash) &&
              Find(library, "gnutls_hash_deinit", found.hashDeinit) &&
              Find(library, "gnutls_rnd", found.rnd) &&
              Find(library, "gnutls_strerror", found.strerror))) {
            gnutls.failure = std::string(kLibrary) + " lacks a function qpdf needs";
            return;
        }
        gnutls = found;
    });
    return gnutls;
}

}  // namespace

void LoadPdfCrypto() {
    Library();
}

}  // namespace folio::engine

using folio::engine::Library;

#define FOLIO_STAND_IN extern "C" __attribute__((visibility("hidden")))

// Every call that can fail reports a library that could not be loaded as gnutls's
// own initialisation failure; qpdf then throws with gnutls_strerror's text.
FOLIO_STAND_IN int gnutls_cipher_init(gnutls_cipher_hd_t* handle, gnutls_cipher_algorithm_t cipher,
                                      const gnutls_datum_t* key, const gnutls_datum_t* iv) {
    const auto& gnutls = Library();
    return gnutls.cipherInit ? gnutls.cipherInit(handle, cipher, key, iv)
                             : GNUTLS_E_CRYPTO_INIT_FAILED;
}

FOLIO_STAND_IN int gnutls_cipher_encrypt2(gnutls_cipher_hd_t handle, const void* text,
                                          size_t textlen, void* ciphertext, size_t ciphertextlen) {
    const auto& gnutls = Library();
    return gnutls.cipherEncrypt2
               ? gnutls.cipherEncrypt2(handle, text, textlen, ciphertext, ciphertextlen)
               : GNUTLS_E_CRYPTO_INIT_FAILED;
}

FOLIO_STAND_IN int gnutls_cipher_decrypt2(gnutls_cipher_hd_t handle, const void* ciphertext,
                                          size_t ciphertextlen, void* text, size_t textlen) {
    const auto& gnutls = Library();
    return gnutls.cipherDecrypt2
               ? gnutls.cipherDecrypt2(handle, ciphertext, ciphertextlen, text, textlen)
               : GNUTLS_E_CRYPTO_INIT_FAILED;
}

// A handle exists only if the library was loaded.
FOLIO_STAND_IN void gnutls_cipher_deinit(gnutls_cipher_hd_t handle) {
    if (const auto& gnutls = Library(); gnutls.cipherDeinit) {
        gnutls.cipherDeinit(handle);
    }
}

FOLIO_STAND_IN size_t gnutls_cipher_get_key_size(gnutls_cipher_algorithm_t algorithm) {
    const auto& gnutls = Library();
    return gnutls.cipherGetKeySize ? gnutls.cipherGetKeySize(algorithm) : 0;
}

FOLIO_STAND_IN int gnutls_hash_init(gnutls_hash_hd_t* dig, gnutls_digest_algorithm_t algorithm) {
    const auto& gnutls = Library();
    return gnutls.hashInit ? gnutls.hashInit(dig, algorithm) : GNUTLS_E_CRYPTO_INIT_FAILED;
}

FOLIO_STAND_IN int gnutls_hash(gnutls_hash_hd_t handle, const void* text, size_t textlen) {
    const auto& gnutls = Library();
    return gnutls.hash ? gnutls.hash(handle, text, textlen) : GNUTLS_E_CRYPTO_INIT_FAILED;
}

FOLIO_STAND_IN void gnutls_hash_deinit(gnutls_hash_hd_t handle, void* digest) {
    if (const auto& gnutls = Library(); gnutls.hashDeinit) {
        gnutls.hashDeinit(handle, digest);
    }
}

FOLIO_STAND_IN int gnutls_rnd(gnutls_rnd_level_t level, void* data, size_t len) {
    const auto& gnutls = Library();
    return gnutls.rnd ? gnutls.rnd(level, data, len) : GNUTLS_E_CRYPTO_INIT_FAILED;
}

FOLIO_STAND_IN const char* gnutls_strerror(int error) {
    const auto& gnutls = Library();
    return gnutls.strerror ? gnutls.strerror(error) : gnutls.failure.c_str();
}
