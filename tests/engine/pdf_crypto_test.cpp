// qpdf hashes and encrypts through stand-ins for gnutls: MD5 from nettle, loaded
// on first use, and everything else from gnutls, loaded only when asked for. Both
// must give the standard answers, from any thread, however the first use happens.
#include <gtest/gtest.h>
#include <qpdf/QPDFCryptoImpl.hh>
#include <qpdf/QPDFCryptoProvider.hh>

#include <array>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace folio::engine {
namespace {

std::string Hex(const unsigned char* bytes, size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

// `text` hashed in pieces of `piece` bytes, as qpdf feeds its writer's output.
std::string Md5(const std::string& text, size_t piece) {
    auto crypto = QPDFCryptoProvider::getImpl();
    crypto->MD5_init();
    for (size_t at = 0; at < text.size(); at += piece) {
        const std::string part = text.substr(at, piece);
        crypto->MD5_update(reinterpret_cast<const unsigned char*>(part.data()), part.size());
    }
    crypto->MD5_finalize();
    QPDFCryptoImpl::MD5_Digest digest;
    crypto->MD5_digest(digest);
    return Hex(digest, sizeof digest);
}

struct Md5Case {
    std::string text;
    const char* digest;
};

// RFC 1321's test suite.
const std::vector<Md5Case> kMd5Cases = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890"
     "1234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// Run first, on four threads at once, so that loading happens under contention.
TEST(PdfCrypto, Md5GivesTheStandardDigestsFromSeveralThreadsAtOnce) {
    // qpdf makes its crypto provider, a function-local static, on first use; made
    // here, before the threads, since ThreadSanitizer cannot see the guard around
    // it in qpdf's uninstrumented code. Nothing is loaded until a hash begins.
    QPDFCryptoProvider::getImpl();
    std::array<std::vector<std::string>, 4> results;
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&results, t] {
            for (const Md5Case& c : kMd5Cases) {
                results[t].push_back(Md5(c.text, 7 + t * 13));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const auto& result : results) {
        ASSERT_EQ(result.size(), kMd5Cases.size());
        for (size_t i = 0; i < kMd5Cases.size(); ++i) {
            EXPECT_EQ(result[i], kMd5Cases[i].digest) << "\"" << kMd5Cases[i].text << "\"";
        }
    }
}

TEST(PdfCrypto, OtherDigestsCiphersAndRandomBytesComeFromTheSystem) {
    auto crypto = QPDFCryptoProvider::getImpl();
    crypto->SHA2_init(256);
    crypto->SHA2_update(reinterpret_cast<const unsigned char*>("abc"), 3);
    crypto->SHA2_finalize();
    const std::string sha = crypto->SHA2_digest();
    EXPECT_EQ(Hex(reinterpret_cast<const unsigned char*>(sha.data()), sha.size()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    const std::string plain = "Plaintext";
    std::string coded(plain.size(), '\0');
    crypto->RC4_init(reinterpret_cast<const unsigned char*>("Key"), 3);
    crypto->RC4_process(reinterpret_cast<const unsigned char*>(plain.data()), plain.size(),
                        reinterpret_cast<unsigned char*>(coded.data()));
    crypto->RC4_finalize();
    EXPECT_EQ(Hex(reinterpret_cast<const unsigned char*>(coded.data()), coded.size()),
              "bbf316e8d940af0ad3");

    std::array<unsigned char, 32> first{}, second{};
    crypto->provideRandomData(first.data(), first.size());
    crypto->provideRandomData(second.data(), second.size());
    EXPECT_NE(first, second);
    EXPECT_NE(first, decltype(first){});
}

}  // namespace
}  // namespace folio::engine
