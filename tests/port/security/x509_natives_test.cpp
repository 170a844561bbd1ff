// The X.509 native over certificates generated here with openssl (RSA and
// EC), and what mbedTLS allocates coming from the firmware's heap.
#include "port/security/x509_natives.h"

#include <gtest/gtest.h>
#include <mbedtls/x509_crt.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/libc_heap.h"
#include "port/security/mbedtls_platform.h"
#include "tests/port/security/java_bytes.h"
#include "tests/port/security/sni_stand_in.h"

namespace {

using namespace tarvelo::x509;
using tarvelo::test::JavaBytes;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Certificates {
    std::string rsa_pem, rsa_der, ec_pem, ec_der;
};

// Generated once per run; no key leaves the temporary directory.
const Certificates& certificates() {
    static const Certificates certs = [] {
        char dir_template[] = "/tmp/tarvelo-x509-XXXXXX";
        const std::string dir = mkdtemp(dir_template);
        const std::string commands = "cd " + dir +
                                     " && openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -out "
                                     "rsa.pem -days 2"
                                     " -subj /CN=rsa.example -batch"
                                     " && openssl req -x509 -newkey ec -pkeyopt "
                                     "ec_paramgen_curve:prime256v1 -nodes -keyout ec.key"
                                     " -out ec.pem -days 2 -subj /CN=ec.example -batch"
                                     " && openssl x509 -in rsa.pem -outform DER -out rsa.der"
                                     " && openssl x509 -in ec.pem -outform DER -out ec.der";
        const bool ok = std::system(("(" + commands + ") >/dev/null 2>&1").c_str()) == 0;
        Certificates c;
        if (ok)
            c = {read_file(dir + "/rsa.pem"), read_file(dir + "/rsa.der"), read_file(dir + "/ec.pem"),
                 read_file(dir + "/ec.der")};
        std::system(("rm -rf " + dir).c_str());
        return c;
    }();
    return certs;
}

std::int32_t parse(const std::string& bytes) {
    JavaBytes array(bytes);
    return Java_com_olun_support_security_natives_X509CertSupportNatives_parse(array.elements(), 0, array.length());
}

class X509Native : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(certificates().rsa_der.empty()) << "openssl could not generate the test certificates";
    }
};

TEST_F(X509Native, DetectsTheForm) {
    const Certificates& c = certificates();
    std::string garbage(600, 0);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 31 + 7);
    std::string bad_base64 = c.rsa_pem;
    bad_base64[bad_base64.find('\n') + 10] = '*';
    const struct {
        const char* name;
        std::string bytes;
        std::int32_t expected;
    } cases[] = {
        {"RSA DER", c.rsa_der, kDer},
        {"EC DER", c.ec_der, kDer},
        // The arrays end with the text: no NUL after it.
        {"RSA PEM", c.rsa_pem, kPem},
        {"EC PEM", c.ec_pem, kPem},
        {"random bytes", garbage, kNotACertificate},
        {"truncated DER", c.rsa_der.substr(0, c.rsa_der.size() - 20), kNotACertificate},
        {"DER with a byte changed",
         [&] {
             std::string d = c.ec_der;
             d[4] ^= 0x40;
             return d;
         }(),
         kNotACertificate},
        {"PEM with bad base64", bad_base64, kNotACertificate},
        {"PEM marker only", "-----BEGIN CERTIFICATE-----", kNotACertificate},
        {"empty", "", kNotACertificate},
    };
    for (const auto& t : cases) EXPECT_EQ(parse(t.bytes), t.expected) << t.name;
}

// A certificate inside a larger array is parsed at its offset, and the
// array is only read: the byte after the text keeps its value.
TEST_F(X509Native, ParsesAtAnOffsetWithoutWritingTheArray) {
    const std::string& pem = certificates().ec_pem;
    const std::string bytes = "xyz" + pem + "tail";
    JavaBytes array(bytes);
    EXPECT_EQ(Java_com_olun_support_security_natives_X509CertSupportNatives_parse(
                  array.elements(), 3, static_cast<std::int32_t>(pem.size())),
              kPem);
    EXPECT_EQ(array.bytes(), bytes);
    const std::string& der = certificates().rsa_der;
    JavaBytes with_der("ab" + der);
    EXPECT_EQ(Java_com_olun_support_security_natives_X509CertSupportNatives_parse(
                  with_der.elements(), 2, static_cast<std::int32_t>(der.size())),
              kDer);
}

TEST_F(X509Native, RangesOutsideTheArrayAreNotCertificates) {
    JavaBytes array(certificates().rsa_der);
    const std::int32_t n = array.length();
    const struct {
        std::int32_t offset, length;
    } ranges[] = {{-1, n}, {0, n + 1}, {1, n}, {0, -1}, {n + 1, 0}, {INT32_MAX, 2}, {2, INT32_MAX}};
    for (const auto& r : ranges)
        EXPECT_EQ(
            Java_com_olun_support_security_natives_X509CertSupportNatives_parse(array.elements(), r.offset, r.length),
            kNotACertificate)
            << r.offset << "," << r.length;
    EXPECT_EQ(Java_com_olun_support_security_natives_X509CertSupportNatives_parse(nullptr, 0, 0), kNotACertificate);
}

// mbedTLS allocates from the firmware's heap (so its objects have 32-bit
// addresses), and the native gives everything back.
TEST_F(X509Native, LibraryAllocatesFromTheFirmwareHeap) {
    const std::string& der = certificates().rsa_der;
    const std::size_t before = tarvelo_libc_heap_free_size();
    mbedtls_x509_crt chain;
    mbedtls_x509_crt_init(&chain);
    ASSERT_EQ(mbedtls_x509_crt_parse_der(&chain, reinterpret_cast<const unsigned char*>(der.data()), der.size()), 0);
    EXPECT_LT(tarvelo_libc_heap_free_size(), before - der.size());
    EXPECT_LE(reinterpret_cast<std::uintptr_t>(chain.raw.p), 0xFFFFFFFFu);
    mbedtls_x509_crt_free(&chain);
    EXPECT_EQ(tarvelo_libc_heap_free_size(), before);

    EXPECT_EQ(parse(certificates().ec_pem), kPem);
    EXPECT_EQ(parse(std::string(3000, 'q')), kNotACertificate);
    EXPECT_EQ(tarvelo_libc_heap_free_size(), before);
}

// The library's clock is the application's time, in seconds.
TEST(MbedtlsClock, IsTheApplicationTime) {
    tarvelo::test::sni().application_time_ms = 1'700'000'123'456;
    std::int64_t cell = 0;
    EXPECT_EQ(LLNET_SSL_utils_custom_mbedtls_time(&cell), 1'700'000'123);
    EXPECT_EQ(cell, 1'700'000'123);
    std::time_t t = 0;
    EXPECT_EQ(tarvelo_mbedtls_time(&t), 1'700'000'123);
    EXPECT_EQ(t, 1'700'000'123);
    EXPECT_EQ(LLNET_SSL_utils_custom_mbedtls_time(nullptr), 1'700'000'123);
}

}  // namespace
