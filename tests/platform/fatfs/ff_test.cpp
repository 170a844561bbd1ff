// The file system over a host directory: what applications can see of the
// card (names without case, result codes, extension by seeking, the limit
// of open objects, a full card, a card taken out and put back).
#include "platform/fatfs/ff.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/sdmmc/card_directory.h"

namespace {

namespace fs = std::filesystem;
namespace card = tarvelo::sdcard;

class CardTest : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tarvelo-card-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        card::set_directory(dir);
        card::set_capacity(UINT64_MAX);
        ASSERT_EQ(f_mount(&volume, "2:/", 0), FR_OK);
        ASSERT_EQ(f_chdrive("2:/"), FR_OK);
    }
    void TearDown() override {
        f_mount(nullptr, "2:/", 0);
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }

    void put(const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    }
    std::string host(const std::string& name) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    FRESULT write_all(const char* path, const std::string& text, BYTE mode = FA_CREATE_ALWAYS | FA_WRITE) {
        FIL f;
        if (FRESULT r = f_open(&f, path, mode); r != FR_OK) return r;
        UINT n = 0;
        FRESULT r = f_write(&f, text.data(), static_cast<UINT>(text.size()), &n);
        f_close(&f);
        return r;
    }

    std::string dir;
    FATFS volume{};
};

TEST_F(CardTest, NamesMatchWithoutCaseAndKeepTheirs) {
    ASSERT_EQ(write_all("2:/Hello.TXT", "abc"), FR_OK);
    EXPECT_EQ(host("Hello.TXT"), "abc");
    FIL f;
    ASSERT_EQ(f_open(&f, "HELLO.txt", FA_READ), FR_OK);
    char buf[8] = {};
    UINT n = 0;
    EXPECT_EQ(f_read(&f, buf, sizeof buf, &n), FR_OK);
    EXPECT_EQ(std::string(buf, n), "abc");
    EXPECT_EQ(f_close(&f), FR_OK);
    // Creating it again under another case truncates the same file.
    ASSERT_EQ(write_all("/hello.txt", "x"), FR_OK);
    EXPECT_EQ(host("Hello.TXT"), "x");
    EXPECT_FALSE(fs::exists(dir + "/hello.txt"));
    // Code page 850: 0x82 is e acute, 0x90 its capital; on the host, UTF-8.
    ASSERT_EQ(write_all("2:/caf\x82.txt", "c"), FR_OK);
    EXPECT_EQ(host("caf\xc3\xa9.txt"), "c");
    FILINFO info;
    ASSERT_EQ(f_stat("CAF\x90.TXT", &info), FR_OK);
    EXPECT_STREQ(info.fname, "caf\x82.txt");
    // Renaming to another case of the same name is allowed.
    ASSERT_EQ(f_rename("hello.txt", "HELLO.txt"), FR_OK);
    EXPECT_TRUE(fs::exists(dir + "/HELLO.txt"));
}

TEST_F(CardTest, EachFailureHasItsCode) {
    ASSERT_EQ(f_mkdir("2:/full"), FR_OK);
    ASSERT_EQ(write_all("2:/full/a", "1"), FR_OK);
    ASSERT_EQ(write_all("2:/ro", "1"), FR_OK);
    ::chmod((dir + "/ro").c_str(), 0444);
    FIL f;
    DIR d;
    struct Case {
        const char* what;
        FRESULT got;
        FRESULT want;
    } cases[] = {
        {"open missing", f_open(&f, "2:/none", FA_READ), FR_NO_FILE},
        {"open in missing dir", f_open(&f, "2:/nodir/a", FA_READ), FR_NO_PATH},
        {"open through a file", f_open(&f, "2:/ro/a", FA_READ), FR_NO_PATH},
        {"open a directory", f_open(&f, "2:/full", FA_READ), FR_NO_FILE},
        {"open the root", f_open(&f, "2:/", FA_READ), FR_INVALID_NAME},
        {"bad character", f_open(&f, "2:/a*b", FA_READ), FR_INVALID_NAME},
        {"create new over one", f_open(&f, "2:/ro", FA_CREATE_NEW | FA_WRITE), FR_EXIST},
        {"write a read-only", f_open(&f, "2:/ro", FA_WRITE), FR_DENIED},
        {"bad drive", f_open(&f, "7:/a", FA_READ), FR_INVALID_DRIVE},
        {"drive without volume", f_open(&f, "0:/a", FA_READ), FR_NOT_ENABLED},
        {"stat missing", f_stat("2:/none", nullptr), FR_NO_FILE},
        {"stat in missing dir", f_stat("2:/nodir/x", nullptr), FR_NO_PATH},
        {"mkdir existing", f_mkdir("2:/FULL"), FR_EXIST},
        {"mkdir in missing dir", f_mkdir("2:/nodir/x"), FR_NO_PATH},
        {"unlink non-empty dir", f_unlink("2:/full"), FR_DENIED},
        {"unlink read-only", f_unlink("2:/ro"), FR_DENIED},
        {"unlink missing", f_unlink("2:/none"), FR_NO_FILE},
        {"rename missing", f_rename("2:/none", "2:/x"), FR_NO_FILE},
        {"rename onto another", f_rename("2:/ro", "2:/full"), FR_EXIST},
        {"rename into missing dir", f_rename("2:/ro", "2:/nodir/x"), FR_NO_PATH},
        {"rename dir into itself", f_rename("2:/full", "2:/full/sub"), FR_INVALID_NAME},
        {"opendir missing", f_opendir(&d, "2:/none"), FR_NO_PATH},
        {"opendir a file", f_opendir(&d, "2:/ro"), FR_NO_PATH},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
    EXPECT_EQ(host("full/a"), "1");
    EXPECT_EQ(host("ro"), "1");
    EXPECT_EQ(f_open(&f, std::string(256, 'n').c_str(), FA_CREATE_ALWAYS | FA_WRITE), FR_INVALID_NAME);
    ASSERT_EQ(f_open(&f, std::string(255, 'n').c_str(), FA_CREATE_ALWAYS | FA_WRITE), FR_OK);
    EXPECT_EQ(f_close(&f), FR_OK);
}

TEST_F(CardTest, ClosedAndReadOnlyObjectsRefuse) {
    FIL f;
    ASSERT_EQ(f_open(&f, "2:/a", FA_CREATE_ALWAYS | FA_WRITE), FR_OK);
    char c = 0;
    UINT n = 9;
    EXPECT_EQ(f_read(&f, &c, 1, &n), FR_DENIED);
    EXPECT_EQ(n, 0u);
    ASSERT_EQ(f_close(&f), FR_OK);
    EXPECT_EQ(f_close(&f), FR_INVALID_OBJECT);
    EXPECT_EQ(f_write(&f, &c, 1, &n), FR_INVALID_OBJECT);
    ASSERT_EQ(f_open(&f, "2:/a", FA_READ), FR_OK);
    EXPECT_EQ(f_write(&f, &c, 1, &n), FR_DENIED);
    EXPECT_EQ(f_close(&f), FR_OK);
}

TEST_F(CardTest, SeekingPastTheEndExtendsOnlyForWriting) {
    FIL f;
    ASSERT_EQ(f_open(&f, "2:/grow", FA_CREATE_ALWAYS | FA_WRITE | FA_READ), FR_OK);
    UINT n = 0;
    ASSERT_EQ(f_write(&f, "ab", 2, &n), FR_OK);
    ASSERT_EQ(f_lseek(&f, 10), FR_OK);
    EXPECT_EQ(f_size(&f), 10u);
    EXPECT_EQ(f_tell(&f), 10u);
    ASSERT_EQ(f_write(&f, "z", 1, &n), FR_OK);
    ASSERT_EQ(f_close(&f), FR_OK);
    EXPECT_EQ(host("grow"), std::string("ab") + std::string(8, '\0') + "z");

    ASSERT_EQ(f_open(&f, "2:/grow", FA_READ), FR_OK);
    ASSERT_EQ(f_lseek(&f, 100), FR_OK);
    EXPECT_EQ(f_tell(&f), 11u);
    char c;
    ASSERT_EQ(f_read(&f, &c, 1, &n), FR_OK);
    EXPECT_EQ(n, 0u);  // at the end
    ASSERT_EQ(f_close(&f), FR_OK);
    EXPECT_EQ(fs::file_size(dir + "/grow"), 11u);

    // Append mode starts at the end.
    ASSERT_EQ(write_all("2:/grow", "!", FA_OPEN_APPEND | FA_WRITE), FR_OK);
    EXPECT_EQ(fs::file_size(dir + "/grow"), 12u);
}

TEST_F(CardTest, TwoFilesAndTwoDirectoriesOpenAtOnce) {
    FIL a, b, c;
    DIR d, e, g;
    ASSERT_EQ(f_mkdir("2:/sub"), FR_OK);
    ASSERT_EQ(f_mkdir("2:/other"), FR_OK);
    ASSERT_EQ(f_open(&a, "2:/a", FA_CREATE_ALWAYS | FA_WRITE), FR_OK);
    ASSERT_EQ(f_open(&b, "2:/b", FA_CREATE_ALWAYS | FA_WRITE), FR_OK);
    // Two files open leave both directory entries free, and the other way round.
    ASSERT_EQ(f_opendir(&d, "2:/"), FR_OK);
    ASSERT_EQ(f_opendir(&e, "2:/sub"), FR_OK);
    EXPECT_EQ(f_open(&c, "2:/c", FA_CREATE_ALWAYS | FA_WRITE), FR_TOO_MANY_OPEN_FILES);
    EXPECT_FALSE(fs::exists(dir + "/c"));  // nothing created
    EXPECT_EQ(f_opendir(&g, "2:/other"), FR_TOO_MANY_OPEN_FILES);
    ASSERT_EQ(f_opendir(&g, "2:/SUB"), FR_OK);  // readers share an entry
    ASSERT_EQ(f_closedir(&g), FR_OK);
    EXPECT_EQ(f_unlink("2:/a"), FR_LOCKED);
    EXPECT_EQ(f_rename("2:/a", "2:/c"), FR_LOCKED);
    EXPECT_EQ(f_unlink("2:/sub"), FR_LOCKED);
    EXPECT_EQ(f_open(&c, "2:/A", FA_READ), FR_LOCKED);  // open for writing
    ASSERT_EQ(f_closedir(&e), FR_OK);
    ASSERT_EQ(f_opendir(&g, "2:/other"), FR_OK);
    ASSERT_EQ(f_close(&b), FR_OK);
    ASSERT_EQ(f_open(&c, "2:/c", FA_CREATE_ALWAYS | FA_WRITE), FR_OK);
    ASSERT_EQ(f_close(&a), FR_OK);
    ASSERT_EQ(f_close(&c), FR_OK);
    ASSERT_EQ(f_closedir(&d), FR_OK);
    ASSERT_EQ(f_closedir(&g), FR_OK);
    // Readers share one entry.
    ASSERT_EQ(f_open(&a, "2:/a", FA_READ), FR_OK);
    ASSERT_EQ(f_open(&b, "2:/a", FA_READ), FR_OK);
    ASSERT_EQ(f_open(&c, "2:/b", FA_READ), FR_OK);
    EXPECT_EQ(f_close(&a), FR_OK);
    EXPECT_EQ(f_close(&b), FR_OK);
    EXPECT_EQ(f_close(&c), FR_OK);
}

TEST_F(CardTest, AFullCardGivesShortWrites) {
    card::set_capacity(3 * card::kClusterBytes);
    f_mount(&volume, "2:/", 0);  // counts what the card holds anew
    put("old", std::string(100, 'o'));  // one cluster, counted at the next mount
    f_mount(&volume, "2:/", 0);
    FIL f;
    ASSERT_EQ(f_open(&f, "2:/big", FA_CREATE_ALWAYS | FA_WRITE), FR_OK);
    std::string data(3 * card::kClusterBytes, 'x');
    UINT n = 0;
    ASSERT_EQ(f_write(&f, data.data(), static_cast<UINT>(data.size()), &n), FR_OK);
    EXPECT_EQ(n, 2 * card::kClusterBytes);
    ASSERT_EQ(f_write(&f, "y", 1, &n), FR_OK);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(f_lseek(&f, 5 * card::kClusterBytes), FR_OK);  // extends no further than the card
    EXPECT_EQ(f_size(&f), 2 * card::kClusterBytes);
    EXPECT_EQ(f_mkdir("2:/d"), FR_DENIED);
    ASSERT_EQ(f_close(&f), FR_OK);
    EXPECT_EQ(fs::file_size(dir + "/big"), 2 * card::kClusterBytes);
    ASSERT_EQ(f_unlink("2:/old"), FR_OK);
    EXPECT_EQ(f_mkdir("2:/d"), FR_OK);
}

TEST_F(CardTest, ACardTakenOutAndPutBack) {
    FIL f;
    ASSERT_EQ(f_open(&f, "2:/keep", FA_CREATE_ALWAYS | FA_WRITE), FR_OK);
    UINT n = 0;
    ASSERT_EQ(f_write(&f, "data", 4, &n), FR_OK);
    const std::string away = dir + "-out";
    fs::rename(dir, away);
    EXPECT_FALSE(card::present());
    EXPECT_EQ(f_stat("2:/keep", nullptr), FR_NOT_READY);
    EXPECT_EQ(f_write(&f, "more", 4, &n), FR_INVALID_OBJECT);
    fs::rename(away, dir);
    EXPECT_TRUE(card::present());
    // The card is mounted anew: the file opened before stays invalid, what
    // it wrote is on the card.
    EXPECT_EQ(f_write(&f, "more", 4, &n), FR_INVALID_OBJECT);
    EXPECT_EQ(f_close(&f), FR_INVALID_OBJECT);
    FILINFO info;
    ASSERT_EQ(f_stat("2:/keep", &info), FR_OK);
    EXPECT_EQ(info.fsize, 4u);
    EXPECT_EQ(host("keep"), "data");
    ASSERT_EQ(f_open(&f, "2:/keep", FA_READ), FR_OK);  // the lock table was cleared
    EXPECT_EQ(f_close(&f), FR_OK);
}

TEST_F(CardTest, DirectoriesListInNameOrder) {
    ASSERT_EQ(f_mkdir("2:/Sub"), FR_OK);
    ASSERT_EQ(write_all("2:/b.txt", "12345"), FR_OK);
    ASSERT_EQ(write_all("2:/A.txt", ""), FR_OK);
    put("bad\xff", "host name that code page 850 cannot spell");
    DIR d;
    ASSERT_EQ(f_opendir(&d, "2:/"), FR_OK);
    FILINFO info;
    std::string seen;
    for (;;) {
        ASSERT_EQ(f_readdir(&d, &info), FR_OK);
        if (info.fname[0] == '\0') break;
        seen += std::string(info.fname) + ((info.fattrib & AM_DIR) ? "/" : "") + ":" + std::to_string(info.fsize) + " ";
    }
    EXPECT_EQ(seen, "A.txt:0 b.txt:5 Sub/:0 ");
    ASSERT_EQ(f_readdir(&d, &info), FR_OK);  // stays at the end
    EXPECT_EQ(info.fname[0], '\0');
    ASSERT_EQ(f_readdir(&d, nullptr), FR_OK);  // rewinds
    ASSERT_EQ(f_readdir(&d, &info), FR_OK);
    EXPECT_STREQ(info.fname, "A.txt");
    ASSERT_EQ(f_closedir(&d), FR_OK);
    EXPECT_EQ(f_closedir(&d), FR_INVALID_OBJECT);
    ASSERT_EQ(f_opendir(&d, "2:/sub/../SUB/."), FR_OK);
    ASSERT_EQ(f_readdir(&d, &info), FR_OK);
    EXPECT_EQ(info.fname[0], '\0');
    ASSERT_EQ(f_closedir(&d), FR_OK);
    ASSERT_EQ(f_unlink("2:/sub"), FR_OK);
    EXPECT_FALSE(fs::exists(dir + "/Sub"));
}

TEST(Card, NotReadyWithoutItsDirectory) {
    card::set_directory("/tmp/tarvelo-card-that-is-not-there");
    FATFS volume{};
    EXPECT_EQ(f_mount(&volume, "2:/", 1), FR_NOT_READY);
    EXPECT_EQ(f_mount(&volume, "2:/", 0), FR_OK);
    EXPECT_EQ(f_stat("2:/a", nullptr), FR_NOT_READY);
    EXPECT_EQ(f_mkdir("2:/a"), FR_NOT_READY);
    f_mount(nullptr, "2:/", 0);
}

}  // namespace
