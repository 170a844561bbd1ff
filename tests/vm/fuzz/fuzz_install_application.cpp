// libFuzzer target of installing application files: each input is an
// application file that the kernel of fuzz_kernel.tvi installs with the
// prelude's loader and unlinks again (the collection the unlink runs
// included). Built twice: the records mode (FUZZ_RUN_APPLICATION 0) runs
// none of the application's code, so what it finds is the loader's,
// linker's or collector's reading of the file's records; the run mode also
// starts the application, kills it and collects it, so that faults of its
// bytecode are seen too.
//
// One life of the virtual machine serves every input: its task waits in
// app.Fuzz.next for the file LLVMFuzzerTestOneInput hands over, and
// app.Fuzz.done hands back how far the file got. An application that ends
// the virtual machine gets the next input a fresh start.
//
// Each input has its own hang budget. The virtual clock moves only when
// every task waits, so an application whose code never ends is never
// preempted and the kernel's thread that would kill it never runs again.
// An input not done after a quiet spell of the host's time gets ticks of
// the clock from the harness until it is done: the kernel kills the
// application that loops, and the input is kept out of the corpus (it
// proved nothing but the kill, at the cost of the budget). One still not
// done when the budget is spent, or that leaves threads running after its
// unlink (they would hang the next input), ends the process as a hang of
// that input.
//
// The custom mutator changes the file's structure (header words, section
// entries, words of the content as the records read them, relocation
// records, length) as well as its bytes, then writes the file's CRC again,
// so that mutated files get past the CRC check to the records behind it.
#include <semaphore.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "FreeRTOS.h"
#include "bsp/zev/port/kf/inc/LLKERNEL_impl.h"
#include "bsp/zev/port/kf/inc/LLKERNEL_RAM.h"
#include "sim_clock.h"
#include "task.h"
#include "tests/vm/fuzz/application_file_crc.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/sni.h"
#include "vm/model/image_symbols.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"
#include "tools/imagelink/application_builder.h"
#include "vm/memory/feature_loader.h"

#ifndef FUZZ_RUN_APPLICATION
#define FUZZ_RUN_APPLICATION 0
#endif

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

using tarvelo::ExecutionContext;
using tarvelo::VMThread;
using tarvelo::word_t;

namespace {

// --- the file's layout: the image linker's container constants -----------------
namespace file {
using namespace tarvelo::imagelink::app_file;
using tarvelo::installed_struct::kSignatureBytes;
using tarvelo::fuzz::kMaxSections;
}  // namespace file
using tarvelo::fuzz::crc_start;

std::uint32_t get32(const std::uint8_t* d, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, d + at, 4);
    return v;
}
void put32(std::uint8_t* d, std::size_t at, std::uint32_t v) { std::memcpy(d + at, &v, 4); }


// --- the virtual machine's side ------------------------------------------------------
sem_t gInputReady;
sem_t gDone;
const std::uint8_t* gData = nullptr;
std::size_t gSize = 0;
bool gInFlight = false;
// app.Fuzz.done's outcome, or kEnded when the virtual machine ended first.
constexpr std::int32_t kEnded = -1;
constexpr std::int32_t kUnlinkRefused = 2;
std::int32_t gOutcome = 0;
// The virtual machine's threads when its kernel first asks for an input,
// and when it hands the last one back.
std::int32_t gIdleThreads = -1;
std::int32_t gThreadsAfter = 0;
// With TARVELO_FUZZ_OUTCOMES set, how many inputs ended each way, printed
// at exit: a corpus that never gets past the loader's checks tests little.
std::size_t gOutcomes[4];
std::size_t gTicked = 0;

void printOutcomes() {
    std::fprintf(stderr,
                 "outcomes: %zu refused, %zu installed and unlinked, %zu ended the virtual machine, "
                 "%zu needed the clock's ticks to end\n",
                 gOutcomes[1], gOutcomes[2], gOutcomes[0], gTicked);
}

void waitFor(sem_t* s) {
    while (sem_wait(s) != 0 && errno == EINTR) {
    }
}

// The hang budget, in milliseconds of the host's time: the quiet spell an
// input runs as it is, then the whole budget (TARVELO_FUZZ_HANG_MS).
int gQuietMs = 500;
int gHangMs = 5000;

std::int64_t nowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

// Waits up to `ms` for the input to be done; false when it is not.
bool doneWithin(int ms) {
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (sem_timedwait(&gDone, &deadline) == 0) return true;
        if (errno != EINTR) return false;
    }
}

[[noreturn]] void hang(const char* why) {
    std::fprintf(stderr, "fuzz_install_application: input hangs: %s\n", why);
    std::abort();
}

// Waits for the input; true when it needed the clock's ticks.
bool waitForInput() {
    if (doneWithin(gQuietMs)) return false;
    const std::int64_t end = nowMs() + gHangMs - gQuietMs;
    // One tick a millisecond: five times the board's pace.
    for (;;) {
        vSimAdvanceTicks(1);
        if (doneWithin(1)) return true;
        if (nowMs() > end)
            hang("not done when its budget is spent (its code loops where the kill does not reach, "
                 "or the kernel's thread that would end it is gone)");
    }
}

void vmTask(void*) {
    LLKERNEL_RAM_BESTFIT_initialize(kernel_working_buffer, kernel_working_buffer + kKernelWorkingBufferSize);
    void* vm = SNI_createVM();
    if (vm == nullptr) {
        std::fprintf(stderr, "fuzz_install_application: no virtual machine\n");
        std::abort();
    }
    int idleStarts = 0;
    for (;;) {
        const std::int32_t result = SNI_startVM(vm, 0, nullptr);
        if (gInFlight) {
            // The application ended the virtual machine: its input is done.
            idleStarts = 0;
            gInFlight = false;
            gOutcome = kEnded;
            sem_post(&gDone);
        } else if (++idleStarts > 2) {
            std::fprintf(stderr, "fuzz_install_application: the kernel ends without an input (%d)\n",
                         static_cast<int>(result));
            std::abort();
        }
    }
}

void startVirtualMachine() {
    if (std::getenv("TARVELO_FUZZ_OUTCOMES") != nullptr) std::atexit(printOutcomes);
    if (const char* ms = std::getenv("TARVELO_FUZZ_HANG_MS")) {
        gHangMs = std::max(std::atoi(ms), 2);
        gQuietMs = std::min(gQuietMs, gHangMs / 2);
    }
    sem_init(&gInputReady, 0, 0);
    sem_init(&gDone, 0, 0);
    std::thread([] {
        vSimSetClockMode(eSimClockVirtual);
        xTaskCreate(vmTask, "Tarvelo task", 10240, nullptr, 4, nullptr);
        vTaskStartScheduler();
    }).detach();
}

// --- the custom mutator ----------------------------------------------------------------
using Rng = std::minstd_rand;

std::uint32_t below(Rng& rng, std::uint32_t n) { return n == 0 ? 0 : static_cast<std::uint32_t>(rng() % n); }

// A value a record word or a header field might be given: the edges of
// the numbers, small ones, ones near the sizes the file declares, a word
// of the file elsewhere, or the old value moved a little.
std::uint32_t interesting(Rng& rng, const std::uint8_t* d, std::size_t size, std::uint32_t old) {
    const std::uint32_t content = size >= file::kHeaderSize ? get32(d, file::kContentSizeAt) : 0;
    const std::uint32_t ram = size >= file::kHeaderSize ? get32(d, file::kRamSizeAt) : 0;
    switch (below(rng, 12)) {
        case 0: return 0;
        case 1: return 0xFFFFFFFFu;
        case 2: return 0x7FFFFFFFu;
        case 3: return 0x80000000u;
        case 4: return below(rng, 64);
        case 5: return content + below(rng, 16) - 8;
        case 6: return ram + below(rng, 16) - 8;
        case 7: return static_cast<std::uint32_t>(size) + below(rng, 16) - 8;
        case 8: return size >= 4 ? get32(d, 4 * below(rng, static_cast<std::uint32_t>(size / 4))) : 0;
        case 9: return old + below(rng, 33) - 16;
        case 10: return old ^ (1u << below(rng, 32));
        default: return static_cast<std::uint32_t>(rng());
    }
}

// Keeps the relocation records ending the file after its length changed.
void fitRelocations(std::uint8_t* d, std::size_t size) {
    if (size < file::kHeaderSize) return;
    const std::uint32_t at = get32(d, file::kRelocationsAt);
    if (at <= size) put32(d, file::kRelocationsSizeAt, static_cast<std::uint32_t>(size - at));
}

std::size_t mutate(std::uint8_t* d, std::size_t size, std::size_t maxSize, Rng& rng) {
    if (size < file::kHeaderSize || crc_start(d, size) == 0) return LLVMFuzzerMutate(d, size, maxSize);
    const std::size_t body = crc_start(d, size);
    const std::uint32_t relocAt = std::min<std::uint32_t>(get32(d, file::kRelocationsAt), static_cast<std::uint32_t>(size));
    switch (below(rng, 10)) {
        case 0:
        case 1: {  // bytes anywhere, the length too
            const std::size_t n = LLVMFuzzerMutate(d, size, maxSize);
            if (n != size && below(rng, 4) != 0) fitRelocations(d, n);
            return n;
        }
        case 2: {  // bytes of the sections only
            if (relocAt <= body) return size;
            std::vector<std::uint8_t> part(d + body, d + relocAt);
            const std::size_t n = LLVMFuzzerMutate(part.data(), part.size(), part.size());
            std::memcpy(d + body, part.data(), n);
            return size;
        }
        case 3:
        case 4:
        case 5: {  // a word of the content, as the records read it
            if (relocAt < body + 4) return size;
            const std::size_t at = body + 4 * below(rng, static_cast<std::uint32_t>((relocAt - body) / 4));
            put32(d, at, interesting(rng, d, size, get32(d, at)));
            return size;
        }
        case 6: {  // a header word or a section entry's word
            const std::uint32_t words = static_cast<std::uint32_t>((body - file::kContentSizeAt) / 4);
            const std::size_t at = file::kContentSizeAt + 4 * below(rng, words);
            if (at >= file::kSignatureAt && at < file::kHeaderSize) return size;  // the harness writes it
            put32(d, at, interesting(rng, d, size, get32(d, at)));
            return size;
        }
        case 7: {  // the relocation records: a byte changed, or records added or cut
            if (relocAt >= size) return size;
            const std::size_t records = size - relocAt;
            switch (below(rng, 4)) {
                case 0: d[relocAt + below(rng, static_cast<std::uint32_t>(records))] ^= static_cast<std::uint8_t>(1u << below(rng, 8)); break;
                case 1: d[relocAt + below(rng, static_cast<std::uint32_t>(records))] = static_cast<std::uint8_t>(rng()); break;
                case 2: {  // a record of random kind, offset and value appended
                    std::uint8_t record[16];
                    std::size_t n = 0;
                    record[n++] = static_cast<std::uint8_t>(rng());
                    for (int number = 0; number < 2; ++number) {
                        std::uint32_t v = below(rng, 2) != 0 ? below(rng, 256) : static_cast<std::uint32_t>(rng());
                        do {
                            std::uint8_t b = v & 0x7Fu;
                            v >>= 7;
                            if (v != 0) b |= 0x80u;
                            record[n++] = b;
                        } while (v != 0);
                    }
                    if ((record[0] & 0x08u) != 0)
                        for (int i = 0; i < 4; ++i) record[n++] = static_cast<std::uint8_t>(rng());
                    if (size + n > maxSize) return size;
                    std::memcpy(d + size, record, n);
                    size += n;
                    fitRelocations(d, size);
                    break;
                }
                default:
                    size -= 1 + below(rng, static_cast<std::uint32_t>(std::min<std::size_t>(records, 8)));
                    fitRelocations(d, size);
                    break;
            }
            return size;
        }
        case 8: {  // two section entries swapped, or one made another's
            const std::uint32_t n = get32(d, file::kSectionCountAt);
            const std::size_t a = file::kHeaderSize + file::kSectionEntrySize * below(rng, n);
            const std::size_t b = file::kHeaderSize + file::kSectionEntrySize * below(rng, n);
            std::uint8_t t[file::kSectionEntrySize];
            std::memcpy(t, d + a, sizeof t);
            if (below(rng, 2) == 0) std::memcpy(d + a, d + b, sizeof t);
            std::memcpy(d + b, t, sizeof t);
            return size;
        }
        default: {  // the section count
            put32(d, file::kSectionCountAt, 1 + below(rng, file::kMaxSections + 1));
            return size;
        }
    }
}

}  // namespace

extern "C" {

// static int app.Fuzz.next()
void VMNative_app_Fuzz_next(VMThread* t) {
    if (gIdleThreads < 0) {
        const tarvelo::ThreadTable* table = tarvelo::thread_table();
        gIdleThreads = table != nullptr ? static_cast<std::int32_t>(table->count) : 0;
    }
    waitFor(&gInputReady);
    ExecutionContext::returnInt(t, static_cast<std::int32_t>(gSize));
}

// static void app.Fuzz.fill(byte[] file)
void VMNative_app_Fuzz_fill(VMThread* t) {
    const word_t a = ExecutionContext::refArg(t, 0);
    if (a != 0 && static_cast<std::size_t>(tarvelo::java::array_length(a)) == gSize && gSize != 0)
        std::memcpy(tarvelo::java::array_data<std::uint8_t>(a), gData, gSize);
}

// static int app.Fuzz.mode()
void VMNative_app_Fuzz_mode(VMThread* t) { ExecutionContext::returnInt(t, FUZZ_RUN_APPLICATION); }

// static void app.Fuzz.done(int outcome)
void VMNative_app_Fuzz_done(VMThread* t) {
    gOutcome = ExecutionContext::intArg(t, 5);
    const tarvelo::ThreadTable* table = tarvelo::thread_table();
    gThreadsAfter = table != nullptr ? static_cast<std::int32_t>(table->count) : 0;
    gInFlight = false;
    sem_post(&gDone);
}

int LLVMFuzzerInitialize(int*, char***) {
    startVirtualMachine();
    return 0;
}

int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Java arrays are at most 2^31 - 1 bytes; files of interest are small.
    if (size > (1u << 20)) return -1;
    // Each file gets the running kernel's signature (outside the CRC): the
    // corpus and the reproducers keep reaching the records behind that
    // check when the kernel's types or methods change.
    static std::vector<std::uint8_t> copy;
    copy.assign(data, data + size);
    if (size >= file::kHeaderSize)
        std::memcpy(copy.data() + file::kSignatureAt, _java_signature_start, file::kSignatureBytes);
    gData = copy.data();
    gSize = size;
    gInFlight = true;
    sem_post(&gInputReady);
    const bool ticked = waitForInput();
    // A file refused or unlinked gives back every byte of storage it took:
    // storage left allocated is lost to every later application.
    const std::int32_t left = LLKERNEL_IMPL_getAllocatedFeaturesCount();
    ++gOutcomes[std::clamp(gOutcome + 1, 0, 3)];
    if (gOutcome == kUnlinkRefused || (gOutcome != kEnded && left != 0)) {
        std::fprintf(stderr, "fuzz_install_application: outcome %d, %d application(s) left allocated\n",
                     static_cast<int>(gOutcome), static_cast<int>(left));
        std::abort();
    }
    if (gOutcome != kEnded && gThreadsAfter > gIdleThreads) {
        std::fprintf(stderr, "fuzz_install_application: outcome %d, %d thread(s) still there after the unlink\n",
                     static_cast<int>(gOutcome), static_cast<int>(gThreadsAfter - gIdleThreads));
        hang("threads of the application outlive it");
    }
    if (ticked) {
        ++gTicked;
        return -1;
    }
    return 0;
}

std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned int seed) {
    Rng rng(seed);
    // A few mutations at once now and then: one field seldom opens a path.
    const int rounds = below(rng, 4) == 0 ? 2 + static_cast<int>(below(rng, 3)) : 1;
    for (int i = 0; i < rounds; ++i) size = mutate(data, size, maxSize, rng);
    // Now and then the CRC is left as the mutation made it.
    if (below(rng, 32) != 0) tarvelo::fuzz::write_crc(data, size);
    return size;
}

}  // extern "C"
