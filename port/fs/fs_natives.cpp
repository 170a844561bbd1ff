// The file natives of the class library's java.io (through
// com.olun.java.io.FileSystem): files and directories on the SD card. The
// file system can be slow and has no locking, so every call runs on the
// file worker's task: a native fills a job and suspends its green thread;
// when the worker resumes it, the same call runs again as the job's on-done
// callback, which delivers the result or raises the error and frees the job.
//
// File and directory handles are the addresses of pooled file-system
// objects; a handle that is not a reserved element of its pool is refused
// before the file system sees it.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/address.h"
#include "platform/fatfs/ff.h"
#include "port/async/async_worker.h"
#include "port/async/pool.h"
#include "port/fs/sdcard_task.h"
#include "vm/core/engine/java_array_range.h"
#include "vm/core/engine/sni.h"

namespace {

using tarvelo::to_ptr;
using tarvelo::to_word;

constexpr std::int32_t kFailure = -2;
constexpr std::int32_t kEndOfFile = -1;
constexpr std::int32_t kMaxPathLength = 256;
constexpr std::int32_t kDataSize = 2048;

// --- parameter blocks -------------------------------------------------------------------------------

// The error of a failed action: the file system's result code and the name
// of the call that failed (static text). No message: no exception.
struct ErrorReport {
    std::int32_t code;
    const char* message;
};

struct PathJob {
    char path[kMaxPathLength];
    std::int32_t result;
    std::int64_t result64;
    std::uint8_t mode;
    ErrorReport error;
    char newPath[kMaxPathLength];
};

struct DataJob {
    FIL* file;
    std::int8_t* data;
    std::int32_t length;
    std::int32_t result;
    ErrorReport error;
    std::int8_t buffer[kDataSize];
};

struct HandleJob {
    FIL* file;
    std::int32_t result;
    std::int64_t result64;
    ErrorReport error;
};

struct SeekJob {
    FIL* file;
    std::int64_t position;
    std::int32_t result;
    ErrorReport error;
};

struct DirectoryJob {
    DIR* directory;
    std::int32_t result;
    char path[kMaxPathLength];
    FILINFO info;
};

union FsJobParams {
    PathJob path;
    DataJob data;
    HandleJob handle;
    SeekJob seek;
    DirectoryJob directory;
};

TARVELO_ASYNC_WORKER_DECLARE(fs_worker, 4, FsJobParams, 17);
POOL_DECLARE(gst_pool_file_ctx, FIL, 2);
POOL_DECLARE(gst_pool_dir_ctx, DIR, 2);

constexpr const char* kWorkerName = "Tarvelo FS";
constexpr std::uint32_t kWorkerStackBytes = 2048;
constexpr std::int32_t kWorkerPriority = 6;

template <typename T>
T& params(AsyncWorkerJob* job) {
    return *reinterpret_cast<T*>(static_cast<FsJobParams*>(job->params));
}

SNI_callback as_callback(auto* function) { return reinterpret_cast<SNI_callback>(function); }

// --- handles ----------------------------------------------------------------------------------------

FIL* file_of(std::int32_t handle) { return to_ptr<FIL>(static_cast<std::uint32_t>(handle)); }
DIR* directory_of(std::int32_t handle) { return to_ptr<DIR>(static_cast<std::uint32_t>(handle)); }

bool valid_file(std::int32_t handle) { return POOL_is_reserved_f(&gst_pool_file_ctx, file_of(handle)); }
bool valid_directory(std::int32_t handle) { return POOL_is_reserved_f(&gst_pool_dir_ctx, directory_of(handle)); }

// A stale or forged file handle: the native's own I/O exception, with the
// file system's code for an invalid object.
void refuse_file_handle(const char* message) { SNI_throwNativeIOException(FR_INVALID_OBJECT, message); }

// --- jobs ---------------------------------------------------------------------------------------------

// Copies the path up to its first NUL; false (with the exception raised)
// when the array is longer than 256 bytes, whatever it holds, or has no NUL.
bool LLFS_set_path_param(const std::int8_t* path, char* field, bool forOpen) {
    const std::int32_t length = path != nullptr ? tarvelo::java_array_length(path) : 0;
    const void* nul = path != nullptr && length <= kMaxPathLength
                          ? std::memchr(path, 0, static_cast<std::size_t>(length))
                          : nullptr;
    if (nul == nullptr) {
        if (forOpen)
            SNI_throwNativeIOException(-2, "Path name too long");
        else
            SNI_throwNativeException(-2, "Path length is too long");
        return false;
    }
    std::memcpy(field, path, static_cast<std::size_t>(static_cast<const std::int8_t*>(nul) - path) + 1);
    return true;
}

AsyncWorkerJob* allocate(SNI_callback retry) { return TARVELO_ASYNC_WORKER_allocate_job(&fs_worker, retry); }

// Submits the job; false when that failed (the job is freed, the worker's
// exception is pending).
bool submit(AsyncWorkerJob* job, TARVELO_ASYNC_WORKER_action_t action, SNI_callback onDone) {
    if (TARVELO_ASYNC_WORKER_async_exec(&fs_worker, job, action, onDone) == 0) return true;
    TARVELO_ASYNC_WORKER_free_job(&fs_worker, job);
    return false;
}

void raise(const ErrorReport& error) {
    if (error.message != nullptr) SNI_throwNativeIOException(error.code, error.message);
}

void release(AsyncWorkerJob* job) { TARVELO_ASYNC_WORKER_free_job(&fs_worker, job); }

void succeed(ErrorReport& error) { error = {0, nullptr}; }
void fail(ErrorReport& error, std::int32_t code, const char* message) { error = {code, message}; }

// --- actions, on the worker's task ---------------------------------------------------------------------

BYTE open_mode(std::uint8_t mode) {
    switch (mode) {
        case 'R': return FA_READ;
        case 'W': return FA_CREATE_ALWAYS | FA_WRITE;
        case 'A': return FA_OPEN_APPEND | FA_WRITE;
        case 'B':
        case 'D':
        case 'S': return FA_OPEN_ALWAYS | FA_READ | FA_WRITE;
        default: return 0;
    }
}

void LLFS_File_IMPL_open_action(AsyncWorkerJob* job) {
    PathJob& p = params<PathJob>(job);
    p.result = kFailure;
    const BYTE mode = open_mode(p.mode);
    if (mode == 0) return fail(p.error, p.mode, "Invalid opening mode");
    void* element = nullptr;
    if (const std::int32_t r = POOL_reserve_f(&gst_pool_file_ctx, &element); r != POOL_NO_ERROR)
        return fail(p.error, r, "POOL_reserve_f failed");
    auto* file = static_cast<FIL*>(element);
    if (const FRESULT r = f_open(file, p.path, mode); r != FR_OK) {
        POOL_free_f(&gst_pool_file_ctx, file);
        return fail(p.error, r, "f_open failed");
    }
    p.result = static_cast<std::int32_t>(to_word(file));
    succeed(p.error);
}

void LLFS_File_IMPL_close_action(AsyncWorkerJob* job) {
    HandleJob& p = params<HandleJob>(job);
    if (!POOL_is_reserved_f(&gst_pool_file_ctx, p.file)) return fail(p.error, FR_INVALID_OBJECT, "f_close failed");
    const FRESULT r = f_close(p.file);
    POOL_free_f(&gst_pool_file_ctx, p.file);
    p.result = r == FR_OK ? 0 : kFailure;
    if (r != FR_OK) return fail(p.error, r, "f_close failed");
    succeed(p.error);
}

void LLFS_File_IMPL_read_action(AsyncWorkerJob* job) {
    DataJob& p = params<DataJob>(job);
    p.result = kFailure;
    if (!POOL_is_reserved_f(&gst_pool_file_ctx, p.file)) return fail(p.error, FR_INVALID_OBJECT, "f_read failed");
    UINT got = 0;
    if (const FRESULT r = f_read(p.file, p.data, static_cast<UINT>(p.length), &got); r != FR_OK)
        return fail(p.error, r, "f_read failed");
    p.result = got == 0 ? kEndOfFile : static_cast<std::int32_t>(got);
    succeed(p.error);
}

void LLFS_File_IMPL_write_action(AsyncWorkerJob* job) {
    DataJob& p = params<DataJob>(job);
    p.result = kFailure;
    if (!POOL_is_reserved_f(&gst_pool_file_ctx, p.file)) return fail(p.error, FR_INVALID_OBJECT, "f_write failed");
    UINT put = 0;
    if (const FRESULT r = f_write(p.file, p.data, static_cast<UINT>(p.length), &put); r != FR_OK)
        return fail(p.error, r, "f_write failed");
    // A full card takes nothing: a failure, not a write of 0 bytes that the
    // caller would take for success (or loop on for ever).
    if (put == 0 && p.length > 0) return fail(p.error, FR_DENIED, "f_write failed");
    p.result = static_cast<std::int32_t>(put);
    succeed(p.error);
}

void LLFS_File_IMPL_seek_action(AsyncWorkerJob* job) {
    SeekJob& p = params<SeekJob>(job);
    p.result = kFailure;
    if (!POOL_is_reserved_f(&gst_pool_file_ctx, p.file)) return fail(p.error, FR_INVALID_OBJECT, "f_lseek failed");
    // A negative position fails; one that a file's 32-bit position cannot
    // hold (2^32 or more) goes to the largest an int holds.
    if (p.position < 0) return fail(p.error, FR_INVALID_PARAMETER, "f_lseek failed");
    const FSIZE_t position = p.position > 0xFFFFFFFFLL ? FSIZE_t{0x7FFFFFFF} : static_cast<FSIZE_t>(p.position);
    if (const FRESULT r = f_lseek(p.file, position); r != FR_OK)
        return fail(p.error, r, "f_lseek failed");
    p.result = 0;
    succeed(p.error);
}

void LLFS_File_IMPL_flush_action(AsyncWorkerJob* job) {
    HandleJob& p = params<HandleJob>(job);
    p.result = kFailure;
    if (!POOL_is_reserved_f(&gst_pool_file_ctx, p.file)) return fail(p.error, FR_INVALID_OBJECT, "f_sync failed");
    if (const FRESULT r = f_sync(p.file); r != FR_OK) return fail(p.error, r, "f_sync failed");
    p.result = 0;
    succeed(p.error);
}

// The position and size are the file object's own; nothing can fail once
// the handle is known to be a file object.
void file_value_action(AsyncWorkerJob* job, FSIZE_t (*value)(const FIL*)) {
    HandleJob& p = params<HandleJob>(job);
    succeed(p.error);
    p.result64 = POOL_is_reserved_f(&gst_pool_file_ctx, p.file) ? value(p.file) : 0;
}

void LLFS_File_IMPL_get_file_pointer_action(AsyncWorkerJob* job) {
    file_value_action(job, [](const FIL* f) { return f_tell(f); });
}

void LLFS_File_IMPL_length_with_fd_action(AsyncWorkerJob* job) {
    file_value_action(job, [](const FIL* f) { return f_size(f); });
}

void LLFS_File_IMPL_available_action(AsyncWorkerJob* job) {
    HandleJob& p = params<HandleJob>(job);
    succeed(p.error);
    p.result = 0;
    if (!POOL_is_reserved_f(&gst_pool_file_ctx, p.file)) return;
    const FSIZE_t size = f_size(p.file);
    const FSIZE_t position = f_tell(p.file);
    // Files up to 4 GiB - 1: the count is clamped to what an int holds.
    const std::uint64_t left = position < size ? size - position : 0;
    p.result = static_cast<std::int32_t>(std::min<std::uint64_t>(left, INT32_MAX));
}

void LLFS_IMPL_exist_action(AsyncWorkerJob* job) {
    PathJob& p = params<PathJob>(job);
    succeed(p.error);
    p.result = f_stat(p.path, nullptr) == FR_OK ? 0 : kFailure;
}

void stat_kind(AsyncWorkerJob* job, bool wantDirectory) {
    PathJob& p = params<PathJob>(job);
    succeed(p.error);
    FILINFO info{};
    p.result = f_stat(p.path, &info) == FR_OK && ((info.fattrib & AM_DIR) != 0) == wantDirectory ? 0 : kFailure;
}

void LLFS_IMPL_is_file_action(AsyncWorkerJob* job) { stat_kind(job, false); }
void LLFS_IMPL_is_directory_action(AsyncWorkerJob* job) { stat_kind(job, true); }

void LLFS_IMPL_length_action(AsyncWorkerJob* job) {
    PathJob& p = params<PathJob>(job);
    succeed(p.error);
    FILINFO info{};
    const FRESULT r = f_stat(p.path, &info);
    p.result64 = r == FR_OK ? static_cast<std::int64_t>(info.fsize) : r == FR_NO_FILE ? 0 : kFailure;
}

void LLFS_IMPL_mkdir_action(AsyncWorkerJob* job) {
    PathJob& p = params<PathJob>(job);
    succeed(p.error);
    p.result = f_mkdir(p.path) == FR_OK ? 0 : kFailure;
}

void LLFS_IMPL_delete_action(AsyncWorkerJob* job) {
    PathJob& p = params<PathJob>(job);
    succeed(p.error);
    p.result = f_unlink(p.path) == FR_OK ? 0 : kFailure;
}

void LLFS_IMPL_rename_to_action(AsyncWorkerJob* job) {
    PathJob& p = params<PathJob>(job);
    succeed(p.error);
    p.result = f_rename(p.path, p.newPath) == FR_OK ? 0 : kFailure;
}

void LLFS_IMPL_open_directory_action(AsyncWorkerJob* job) {
    DirectoryJob& p = params<DirectoryJob>(job);
    p.result = kFailure;
    void* element = nullptr;
    if (POOL_reserve_f(&gst_pool_dir_ctx, &element) != POOL_NO_ERROR) return;
    auto* directory = static_cast<DIR*>(element);
    if (f_opendir(directory, p.path) != FR_OK) {
        POOL_free_f(&gst_pool_dir_ctx, directory);
        return;
    }
    p.result = static_cast<std::int32_t>(to_word(directory));
}

void LLFS_IMPL_read_directory_action(AsyncWorkerJob* job) {
    DirectoryJob& p = params<DirectoryJob>(job);
    std::memset(&p.info, 0, sizeof p.info);
    p.result = POOL_is_reserved_f(&gst_pool_dir_ctx, p.directory) && f_readdir(p.directory, &p.info) == FR_OK &&
                       p.info.fname[0] != '\0'
                   ? 0
                   : kFailure;
}

void LLFS_IMPL_close_directory_action(AsyncWorkerJob* job) {
    DirectoryJob& p = params<DirectoryJob>(job);
    if (!POOL_is_reserved_f(&gst_pool_dir_ctx, p.directory)) {
        p.result = kFailure;
        return;
    }
    const FRESULT r = f_closedir(p.directory);
    POOL_free_f(&gst_pool_dir_ctx, p.directory);
    p.result = r == FR_OK ? 0 : kFailure;
}

}  // namespace

// --- natives and their on-done callbacks, on the application task ------------------------------------
//
// Each on-done callback has its native's arguments: the interpreter runs the
// same call again with the callback in the native's place. What a native
// returns after submitting a job is ignored (its thread is suspended, or an
// exception is pending).

extern "C" {

std::int32_t Java_com_olun_java_io_FileSystem_initializeNative() {
    const std::int32_t r = TARVELO_ASYNC_WORKER_initialize(&fs_worker, kWorkerName, kWorkerStackBytes, kWorkerPriority);
    if (r == 2) SNI_throwNativeException(2, "Invalid argument for FS async worker");
    if (r == 1) SNI_throwNativeException(1, "Error while initializing FS async worker");
    return SDCARD_waitCardReady();
}

std::int32_t Java_com_olun_java_io_FileSystem_getMaxPathLength() { return kMaxPathLength; }

// --- open and close ---

std::int32_t LLFS_File_IMPL_open_on_done(const std::int8_t*, std::int32_t) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_File_IMPL_open_on_done));
    if (job == nullptr) return kFailure;
    const PathJob& p = params<PathJob>(job);
    const std::int32_t result = p.result;
    raise(p.error);
    release(job);
    return result;
}

std::int32_t Java_com_olun_java_io_FileSystem_openNative(const std::int8_t* path, std::int32_t mode) {
    AsyncWorkerJob* job = allocate(as_callback(Java_com_olun_java_io_FileSystem_openNative));
    if (job == nullptr) return kFailure;
    PathJob& p = params<PathJob>(job);
    if (!LLFS_set_path_param(path, p.path, true)) {
        release(job);
        return kFailure;
    }
    p.mode = static_cast<std::uint8_t>(mode);
    submit(job, LLFS_File_IMPL_open_action, as_callback(LLFS_File_IMPL_open_on_done));
    return kFailure;
}

// The on-done callbacks of the handle jobs whose result is an int.
static std::int32_t handle_job_done(SNI_callback self) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(self);
    if (job == nullptr) return kFailure;
    const HandleJob& p = params<HandleJob>(job);
    const std::int32_t result = p.result;
    raise(p.error);
    release(job);
    return result;
}

// Starts a job on a file handle; false when none was started.
static bool start_handle_job(std::int32_t handle, const char* failure, SNI_callback retry,
                      TARVELO_ASYNC_WORKER_action_t action, SNI_callback onDone) {
    if (!valid_file(handle)) {
        refuse_file_handle(failure);
        return false;
    }
    AsyncWorkerJob* job = allocate(retry);
    if (job == nullptr) return false;
    params<HandleJob>(job).file = file_of(handle);
    return submit(job, action, onDone);
}

void LLFS_File_IMPL_close_on_done(std::int32_t) { handle_job_done(as_callback(LLFS_File_IMPL_close_on_done)); }

void Java_com_olun_java_io_FileSystem_closeNative(std::int32_t file) {
    start_handle_job(file, "f_close failed", as_callback(Java_com_olun_java_io_FileSystem_closeNative),
                     LLFS_File_IMPL_close_action, as_callback(LLFS_File_IMPL_close_on_done));
}

void LLFS_File_IMPL_flush_on_done(std::int32_t) { handle_job_done(as_callback(LLFS_File_IMPL_flush_on_done)); }

void Java_com_olun_java_io_FileSystem_flushNative(std::int32_t file) {
    start_handle_job(file, "f_sync failed", as_callback(Java_com_olun_java_io_FileSystem_flushNative),
                     LLFS_File_IMPL_flush_action, as_callback(LLFS_File_IMPL_flush_on_done));
}

std::int32_t LLFS_File_IMPL_available_on_done(std::int32_t) {
    return handle_job_done(as_callback(LLFS_File_IMPL_available_on_done));
}

std::int32_t Java_com_olun_java_io_FileSystem_availableNative(std::int32_t file) {
    start_handle_job(file, "f_size failed", as_callback(Java_com_olun_java_io_FileSystem_availableNative),
                     LLFS_File_IMPL_available_action, as_callback(LLFS_File_IMPL_available_on_done));
    return 0;
}

static std::int64_t handle64_job_done(SNI_callback self) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(self);
    if (job == nullptr) return 0;
    const std::int64_t result = params<HandleJob>(job).result64;
    release(job);
    return result;
}

std::int64_t LLFS_File_IMPL_get_file_pointer_on_done(std::int32_t) {
    return handle64_job_done(as_callback(LLFS_File_IMPL_get_file_pointer_on_done));
}

std::int64_t Java_com_olun_java_io_FileSystem_getFilePointerNative(std::int32_t file) {
    start_handle_job(file, "f_tell failed", as_callback(Java_com_olun_java_io_FileSystem_getFilePointerNative),
                     LLFS_File_IMPL_get_file_pointer_action, as_callback(LLFS_File_IMPL_get_file_pointer_on_done));
    return 0;
}

std::int64_t LLFS_File_IMPL_length_with_fd_on_done(std::int32_t) {
    return handle64_job_done(as_callback(LLFS_File_IMPL_length_with_fd_on_done));
}

std::int64_t Java_com_olun_java_io_FileSystem_lengthWithFdNative(std::int32_t file) {
    start_handle_job(file, "f_size failed", as_callback(Java_com_olun_java_io_FileSystem_lengthWithFdNative),
                     LLFS_File_IMPL_length_with_fd_action, as_callback(LLFS_File_IMPL_length_with_fd_on_done));
    return 0;
}

// --- seek ---

void LLFS_File_IMPL_seek_on_done(std::int32_t, std::int64_t) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_File_IMPL_seek_on_done));
    if (job == nullptr) return;
    raise(params<SeekJob>(job).error);
    release(job);
}

void Java_com_olun_java_io_FileSystem_seekNative(std::int32_t file, std::int64_t position) {
    if (!valid_file(file)) return refuse_file_handle("f_lseek failed");
    AsyncWorkerJob* job = allocate(as_callback(Java_com_olun_java_io_FileSystem_seekNative));
    if (job == nullptr) return;
    SeekJob& p = params<SeekJob>(job);
    p.file = file_of(file);
    p.position = position;
    submit(job, LLFS_File_IMPL_seek_action, as_callback(LLFS_File_IMPL_seek_on_done));
}

// --- read and write ---

// Starts a read or write of at most 2,048 bytes of the array (the array
// itself when it is immortal); false when none was started.
static bool LLFS_async_exec_write_read_job(std::int32_t file, std::int8_t* array, std::int32_t offset, std::int32_t length,
                                    bool write, SNI_callback retry, SNI_callback onDone) {
    const char* failure = write ? "f_write failed" : "f_read failed";
    if (!valid_file(file)) {
        refuse_file_handle(failure);
        return false;
    }
    AsyncWorkerJob* job = allocate(retry);
    if (job == nullptr) return false;
    DataJob& p = params<DataJob>(job);
    p.file = file_of(file);
    std::int8_t* data = nullptr;
    std::int32_t n = 0;
    const std::int32_t r = SNI_retrieveArrayElements(array, offset, std::min(length, kDataSize), p.buffer, kDataSize,
                                                     &data, &n, write);
    if (array == nullptr || r != 0) {
        SNI_throwNativeIOException(r != 0 ? r : -2, "SNI_retrieveArrayElements: Internal error");
        release(job);
        return false;
    }
    p.data = data;
    p.length = n;
    return submit(job, write ? LLFS_File_IMPL_write_action : LLFS_File_IMPL_read_action, onDone);
}

std::int32_t LLFS_File_IMPL_read_on_done(std::int32_t, std::int8_t* array, std::int32_t offset, std::int32_t) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_File_IMPL_read_on_done));
    if (job == nullptr) return kFailure;
    const DataJob& p = params<DataJob>(job);
    std::int32_t result = p.result;
    raise(p.error);
    if (result > 0 && p.data == p.buffer) {
        // The array may have moved since the call: it is the one passed now.
        const std::int32_t r = SNI_flushArrayElements(array, offset, result, p.buffer, result);
        if (r != 0) {
            SNI_throwNativeIOException(r, "SNI_flushArrayElements: Internal error");
            result = kFailure;
        }
    }
    release(job);
    return result;
}

std::int32_t Java_com_olun_java_io_FileSystem_readNative(std::int32_t file, std::int8_t* array, std::int32_t offset,
                                                         std::int32_t length) {
    // Nothing asked, nothing read: not the end of the file. A range outside
    // the array fails as it fails a write.
    if (length == 0 && valid_file(file) && tarvelo::java_array_range_ok(array, offset, 0)) return 0;
    LLFS_async_exec_write_read_job(file, array, offset, length, false,
                                   as_callback(Java_com_olun_java_io_FileSystem_readNative),
                                   as_callback(LLFS_File_IMPL_read_on_done));
    return kFailure;
}

std::int32_t LLFS_File_IMPL_write_on_done(std::int32_t, std::int8_t*, std::int32_t, std::int32_t) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_File_IMPL_write_on_done));
    if (job == nullptr) return kFailure;
    const DataJob& p = params<DataJob>(job);
    const std::int32_t result = p.result;
    raise(p.error);
    release(job);
    return result;
}

std::int32_t Java_com_olun_java_io_FileSystem_writeNative(std::int32_t file, std::int8_t* array, std::int32_t offset,
                                                          std::int32_t length) {
    LLFS_async_exec_write_read_job(file, array, offset, length, true,
                                   as_callback(Java_com_olun_java_io_FileSystem_writeNative),
                                   as_callback(LLFS_File_IMPL_write_on_done));
    return kFailure;
}

// The one-byte forms use the first byte of the job's data area.
static bool LLFS_async_exec_write_read_byte_job(std::int32_t file, std::int32_t value, bool write, SNI_callback retry,
                                         SNI_callback onDone) {
    if (!valid_file(file)) {
        refuse_file_handle(write ? "f_write failed" : "f_read failed");
        return false;
    }
    AsyncWorkerJob* job = allocate(retry);
    if (job == nullptr) return false;
    DataJob& p = params<DataJob>(job);
    p.file = file_of(file);
    p.buffer[0] = static_cast<std::int8_t>(value);
    p.data = p.buffer;
    p.length = 1;
    return submit(job, write ? LLFS_File_IMPL_write_action : LLFS_File_IMPL_read_action, onDone);
}

std::int32_t LLFS_File_IMPL_read_byte_on_done(std::int32_t) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_File_IMPL_read_byte_on_done));
    if (job == nullptr) return kFailure;
    const DataJob& p = params<DataJob>(job);
    const std::int32_t result = p.result == 1 ? static_cast<std::uint8_t>(p.buffer[0]) : p.result;
    raise(p.error);
    release(job);
    return result;
}

std::int32_t Java_com_olun_java_io_FileSystem_readByteNative(std::int32_t file) {
    LLFS_async_exec_write_read_byte_job(file, 0, false, as_callback(Java_com_olun_java_io_FileSystem_readByteNative),
                                        as_callback(LLFS_File_IMPL_read_byte_on_done));
    return kFailure;
}

void LLFS_File_IMPL_write_byte_on_done(std::int32_t, std::int32_t) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_File_IMPL_write_byte_on_done));
    if (job == nullptr) return;
    raise(params<DataJob>(job).error);
    release(job);
}

void Java_com_olun_java_io_FileSystem_writeByteNative(std::int32_t file, std::int32_t value) {
    LLFS_async_exec_write_read_byte_job(file, value, true, as_callback(Java_com_olun_java_io_FileSystem_writeByteNative),
                                        as_callback(LLFS_File_IMPL_write_byte_on_done));
}

// --- path queries and changes: results only, no exception ---

std::int32_t LLFS_IMPL_path_function_on_done(const std::int8_t*) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_IMPL_path_function_on_done));
    if (job == nullptr) return kFailure;
    const std::int32_t result = params<PathJob>(job).result;
    release(job);
    return result;
}

// Starts a job on a path; false when none was started.
static bool LLFS_async_exec_path_job(const std::int8_t* path, SNI_callback retry, TARVELO_ASYNC_WORKER_action_t action,
                              SNI_callback onDone) {
    AsyncWorkerJob* job = allocate(retry);
    if (job == nullptr) return false;
    if (!LLFS_set_path_param(path, params<PathJob>(job).path, false)) {
        release(job);
        return false;
    }
    return submit(job, action, onDone);
}

std::int32_t Java_com_olun_java_io_FileSystem_existNative(const std::int8_t* path) {
    LLFS_async_exec_path_job(path, as_callback(Java_com_olun_java_io_FileSystem_existNative), LLFS_IMPL_exist_action,
                             as_callback(LLFS_IMPL_path_function_on_done));
    return kFailure;
}

std::int32_t Java_com_olun_java_io_FileSystem_isFileNative(const std::int8_t* path) {
    LLFS_async_exec_path_job(path, as_callback(Java_com_olun_java_io_FileSystem_isFileNative),
                             LLFS_IMPL_is_file_action, as_callback(LLFS_IMPL_path_function_on_done));
    return kFailure;
}

std::int32_t Java_com_olun_java_io_FileSystem_isDirectoryNative(const std::int8_t* path) {
    LLFS_async_exec_path_job(path, as_callback(Java_com_olun_java_io_FileSystem_isDirectoryNative),
                             LLFS_IMPL_is_directory_action, as_callback(LLFS_IMPL_path_function_on_done));
    return kFailure;
}

std::int32_t Java_com_olun_java_io_FileSystem_mkdirNative(const std::int8_t* path) {
    LLFS_async_exec_path_job(path, as_callback(Java_com_olun_java_io_FileSystem_mkdirNative), LLFS_IMPL_mkdir_action,
                             as_callback(LLFS_IMPL_path_function_on_done));
    return kFailure;
}

std::int32_t Java_com_olun_java_io_FileSystem_deleteNative(const std::int8_t* path) {
    LLFS_async_exec_path_job(path, as_callback(Java_com_olun_java_io_FileSystem_deleteNative),
                             LLFS_IMPL_delete_action, as_callback(LLFS_IMPL_path_function_on_done));
    return kFailure;
}

std::int64_t LLFS_IMPL_path64_function_on_done(const std::int8_t*) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_IMPL_path64_function_on_done));
    if (job == nullptr) return 0;
    const std::int64_t result = params<PathJob>(job).result64;
    release(job);
    return result;
}

std::int64_t Java_com_olun_java_io_FileSystem_lengthNative(const std::int8_t* path) {
    LLFS_async_exec_path_job(path, as_callback(Java_com_olun_java_io_FileSystem_lengthNative),
                             LLFS_IMPL_length_action, as_callback(LLFS_IMPL_path64_function_on_done));
    return 0;
}

std::int32_t LLFS_IMPL_rename_to_on_done(const std::int8_t*, const std::int8_t*) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_IMPL_rename_to_on_done));
    if (job == nullptr) return kFailure;
    const std::int32_t result = params<PathJob>(job).result;
    release(job);
    return result;
}

std::int32_t Java_com_olun_java_io_FileSystem_renameToNative(const std::int8_t* oldPath, const std::int8_t* newPath) {
    AsyncWorkerJob* job = allocate(as_callback(Java_com_olun_java_io_FileSystem_renameToNative));
    if (job == nullptr) return kFailure;
    PathJob& p = params<PathJob>(job);
    if (!LLFS_set_path_param(oldPath, p.path, false) || !LLFS_set_path_param(newPath, p.newPath, false)) {
        release(job);
        return kFailure;
    }
    submit(job, LLFS_IMPL_rename_to_action, as_callback(LLFS_IMPL_rename_to_on_done));
    return kFailure;
}

// --- directories: results only ---

std::int32_t LLFS_IMPL_open_directory_on_done(const std::int8_t*) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_IMPL_open_directory_on_done));
    if (job == nullptr) return kFailure;
    const std::int32_t result = params<DirectoryJob>(job).result;
    release(job);
    return result;
}

std::int32_t Java_com_olun_java_io_FileSystem_opendirNative(const std::int8_t* path) {
    AsyncWorkerJob* job = allocate(as_callback(Java_com_olun_java_io_FileSystem_opendirNative));
    if (job == nullptr) return kFailure;
    if (!LLFS_set_path_param(path, params<DirectoryJob>(job).path, false)) {
        release(job);
        return kFailure;
    }
    submit(job, LLFS_IMPL_open_directory_action, as_callback(LLFS_IMPL_open_directory_on_done));
    return kFailure;
}

// Starts a job on a directory handle; false when none was started.
static bool LLFS_async_exec_directory_job(std::int32_t directory, SNI_callback retry, TARVELO_ASYNC_WORKER_action_t action,
                                   SNI_callback onDone) {
    if (!valid_directory(directory)) return false;
    AsyncWorkerJob* job = allocate(retry);
    if (job == nullptr) return false;
    params<DirectoryJob>(job).directory = directory_of(directory);
    return submit(job, action, onDone);
}

// Copies a NUL-terminated name into a Java byte array: through a flush for
// a heap array, in place for an immortal one (which a flush leaves alone).
static bool deliver_name(std::int8_t* array, const char* name, std::size_t length) {
    auto* text = reinterpret_cast<std::int8_t*>(const_cast<char*>(name));
    const auto n = static_cast<std::int32_t>(length);
    std::int8_t* target = nullptr;
    std::int32_t targetLength = 0;
    if (SNI_retrieveArrayElements(array, 0, n, text, n, &target, &targetLength, false) != 0) return false;
    if (target != text) {
        std::memcpy(target, text, length);
        return true;
    }
    return SNI_flushArrayElements(array, 0, n, text, n) == 0;
}

std::int32_t LLFS_IMPL_read_directory_on_done(std::int32_t, std::int8_t* name) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_IMPL_read_directory_on_done));
    if (job == nullptr) return kFailure;
    const DirectoryJob& p = params<DirectoryJob>(job);
    std::int32_t result = p.result;
    if (result == 0) {
        // The entry is read (consumed) whether or not its name fits.
        const std::size_t length = std::strlen(p.info.fname) + 1;
        const std::int32_t room = name != nullptr ? tarvelo::java_array_length(name) : 0;
        if (static_cast<std::size_t>(room) < length || !deliver_name(name, p.info.fname, length)) result = kFailure;
    }
    release(job);
    return result;
}

std::int32_t Java_com_olun_java_io_FileSystem_readdirNative(std::int32_t directory, std::int8_t*) {
    LLFS_async_exec_directory_job(directory, as_callback(Java_com_olun_java_io_FileSystem_readdirNative),
                                  LLFS_IMPL_read_directory_action, as_callback(LLFS_IMPL_read_directory_on_done));
    return kFailure;
}

std::int32_t LLFS_IMPL_close_directory_on_done(std::int32_t) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_take_job_done(as_callback(LLFS_IMPL_close_directory_on_done));
    if (job == nullptr) return kFailure;
    const std::int32_t result = params<DirectoryJob>(job).result;
    release(job);
    return result;
}

std::int32_t Java_com_olun_java_io_FileSystem_closedirNative(std::int32_t directory) {
    LLFS_async_exec_directory_job(directory, as_callback(Java_com_olun_java_io_FileSystem_closedirNative),
                                  LLFS_IMPL_close_directory_action, as_callback(LLFS_IMPL_close_directory_on_done));
    return kFailure;
}

}  // extern "C"
