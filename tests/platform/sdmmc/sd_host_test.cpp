// Card detection over the card's directory: reported at host start when
// the card is in, and within the detect period when it is put in later.
#include "platform/sdmmc/sd_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "FreeRTOS.h"
#include "platform/sdmmc/card_directory.h"
#include "task.h"
#include "tests/support/task_harness.h"

namespace {

namespace card = tarvelo::sdcard;

int reports = 0;
bool last_state = false;

void detected(bool inserted, void*) {
    ++reports;
    last_state = inserted;
}

std::string fresh_directory() {
    char tmpl[] = "/tmp/tarvelo-sd-XXXXXX";
    EXPECT_NE(mkdtemp(tmpl), nullptr);
    return tmpl;
}

TEST(SdHost, ACardInAtStartIsReportedAtOnce) {
    const std::string dir = fresh_directory();
    card::set_directory(dir);
    reports = 0;
    tarvelo::test::run_in_task([] {
        sd_card_t sd{};
        BOARD_SD_Config(&sd, detected, 5, nullptr);
        ASSERT_EQ(SD_HostInit(&sd), kStatus_Success);
        EXPECT_EQ(reports, 1);
        EXPECT_TRUE(last_state);
        EXPECT_TRUE(SD_IsCardPresent(&sd));
    });
    std::filesystem::remove_all(dir);
}

TEST(SdHost, ACardPutInLaterIsReportedWithinTheDetectPeriod) {
    const std::string dir = fresh_directory() + "-card";
    card::set_directory(dir);
    reports = 0;
    tarvelo::test::run_in_task([&dir] {
        sd_card_t sd{};
        BOARD_SD_Config(&sd, detected, 5, nullptr);
        ASSERT_EQ(SD_HostInit(&sd), kStatus_Success);
        EXPECT_EQ(reports, 0);
        vTaskDelay(100);
        EXPECT_EQ(reports, 0);
        std::filesystem::create_directory(dir);
        vTaskDelay(21);
        EXPECT_EQ(reports, 1);
        EXPECT_TRUE(last_state);
    });
    std::filesystem::remove_all(dir);
}

}  // namespace
