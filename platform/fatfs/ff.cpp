// The FAT file system over the host directory that stands for the SD card.
// What applications can see follows the card: names compared without case
// in code page 850 and stored with their case, a result code for each
// failure, positions past the end of a file opened for writing extend it,
// at most FF_FS_LOCK files and as many directories open at once, a card that fills
// up. Host names are UTF-8; names that code page 850 cannot spell are not
// seen.
#include "platform/fatfs/ff.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sdmmc/card_directory.h"
#include "sim_interrupt.h"

namespace {

namespace card = tarvelo::sdcard;

// --- code page 850 ----------------------------------------------------------------------------------

// Upper case of the code page's letters above 0x7F (0 where a letter has
// no capital in the code page or the byte is no lower-case letter).
constexpr std::uint8_t kUpperHigh[][2] = {
    {0x81, 0x9A}, {0x82, 0x90}, {0x83, 0xB6}, {0x84, 0x8E}, {0x85, 0xB7}, {0x86, 0x8F}, {0x87, 0x80},
    {0x88, 0xD2}, {0x89, 0xD3}, {0x8A, 0xD4}, {0x8B, 0xD8}, {0x8C, 0xD7}, {0x8D, 0xDE}, {0x91, 0x92},
    {0x93, 0xE2}, {0x94, 0x99}, {0x95, 0xE3}, {0x96, 0xEA}, {0x97, 0xEB}, {0x9B, 0x9D}, {0xA0, 0xB5},
    {0xA1, 0xD6}, {0xA2, 0xE0}, {0xA3, 0xE9}, {0xA4, 0xA5}, {0xC6, 0xC7}, {0xD0, 0xD1}, {0xE4, 0xE5},
    {0xE7, 0xE8}, {0xEC, 0xED},
};

std::uint8_t upper(std::uint8_t c) {
    if (c >= 'a' && c <= 'z') return static_cast<std::uint8_t>(c - 'a' + 'A');
    if (c < 0x80) return c;
    for (const auto& pair : kUpperHigh)
        if (pair[0] == c) return pair[1];
    return c;
}

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(static_cast<std::uint8_t>(a[i])) != upper(static_cast<std::uint8_t>(b[i]))) return false;
    return true;
}

bool convert(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.assign(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return ok && srcLeft == 0;
}

bool to_host(const std::string& cp850, std::string& utf8) { return convert("UTF-8", "CP850", cp850, utf8); }

// A host name as the card spells it, or false when it cannot be spelled or
// is too long.
bool from_host(const std::string& utf8, std::string& cp850) {
    if (!convert("CP850", "UTF-8", utf8, cp850)) return false;
    return !cp850.empty() && cp850.size() <= FF_MAX_LFN;
}

// --- the volume ---------------------------------------------------------------------------------------

FATFS* volumes[FF_VOLUMES];
int current_drive = 0;
WORD last_mount_id = 0;

// The mounted card: the descriptor of its directory and what it uses.
int root_fd = -1;
// Host descriptors of the objects open on this mount, closed with it.
std::vector<int> open_descriptors;
dev_t root_dev = 0;
ino_t root_ino = 0;
std::uint64_t used_bytes = 0;

struct Lock {
    dev_t dev;
    ino_t ino;
    // Readers opened (1 each), or kWriter.
    unsigned count;
};
constexpr unsigned kWriter = 0x100;
// Files take the first FF_FS_LOCK entries, directories the others, so open
// files never keep a directory from being listed (nor the other way round).
enum class Kind { kFile, kDirectory };
Lock locks[2 * FF_FS_LOCK];

Lock* entries_of(Kind kind) { return kind == Kind::kFile ? locks : locks + FF_FS_LOCK; }

std::uint64_t clusters_of(std::uint64_t bytes) {
    return (bytes + card::kClusterBytes - 1) / card::kClusterBytes * card::kClusterBytes;
}

std::uint64_t free_bytes() {
    const std::uint64_t cap = card::capacity();
    return used_bytes >= cap ? 0 : cap - used_bytes;
}

void account_walk(int fd) {
    for (const std::string& name : card::host_names(fd)) {
        struct stat st;
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            used_bytes += card::kClusterBytes;
            const int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (sub >= 0) account_walk(sub);
        } else if (S_ISREG(st.st_mode)) {
            used_bytes += clusters_of(static_cast<std::uint64_t>(st.st_size));
        }
    }
    ::close(fd);
}

void forget_descriptor(int fd) {
    open_descriptors.erase(std::remove(open_descriptors.begin(), open_descriptors.end(), fd), open_descriptors.end());
}

void unmount_card() {
    for (int fd : open_descriptors) ::close(fd);
    open_descriptors.clear();
    if (root_fd >= 0) ::close(root_fd);
    root_fd = -1;
    for (Lock& l : locks) l = Lock{};
    for (FATFS* fs : volumes)
        if (fs != nullptr) fs->fs_type = 0;
}

// Mounts the card of `fs` when needed: FR_OK with the card in service,
// FR_NOT_READY without a card. A card taken out and put back (or swapped)
// is mounted anew, and the objects opened before are no longer valid.
FRESULT mount_card(FATFS* fs) {
    struct stat st;
    const bool in = ::stat(card::directory().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (fs->fs_type != 0 && in && st.st_dev == root_dev && st.st_ino == root_ino) return FR_OK;
    unmount_card();
    if (!in) return FR_NOT_READY;
    root_fd = ::open(card::directory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_fd < 0) return FR_NOT_READY;
    root_dev = st.st_dev;
    root_ino = st.st_ino;
    used_bytes = 0;
    account_walk(::dup(root_fd));
    fs->fs_type = 3;
    fs->pdrv = FF_SD_DRIVE;
    fs->id = ++last_mount_id;
    return FR_OK;
}

// The drive a path names ("2:" in front), else the current one; the path
// is advanced past the prefix.
FRESULT drive_of(const TCHAR*& path, int& drive) {
    if (path == nullptr) return FR_INVALID_NAME;
    const TCHAR* p = path;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == ':') {
        if (p == path || p - path > 1 || *path - '0' >= FF_VOLUMES) return FR_INVALID_DRIVE;
        drive = *path - '0';
        path = p + 1;
        return FR_OK;
    }
    for (const TCHAR* q = path; *q != '\0' && *q != '/' && *q != '\\'; ++q)
        if (*q == ':') return FR_INVALID_DRIVE;
    drive = current_drive;
    return FR_OK;
}

FRESULT volume_of(const TCHAR*& path, FATFS*& fs) {
    int drive = 0;
    if (FRESULT r = drive_of(path, drive); r != FR_OK) return r;
    fs = volumes[drive];
    if (fs == nullptr) return FR_NOT_ENABLED;
    if (drive != FF_SD_DRIVE) return FR_NOT_READY;  // no disk behind the other drives
    return mount_card(fs);
}

// The checks every call on an open object makes.
FRESULT validate(const FFOBJID& obj) {
    if (obj.fs == nullptr || obj.fs->fs_type == 0 || obj.id != obj.fs->id || obj.host < 0) return FR_INVALID_OBJECT;
    if (mount_card(obj.fs) != FR_OK || obj.id != obj.fs->id) return FR_INVALID_OBJECT;
    return FR_OK;
}

// --- names and paths ----------------------------------------------------------------------------------

FRESULT check_name(std::string& name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    if (name.empty() || name.size() > FF_MAX_LFN) return FR_INVALID_NAME;
    for (char ch : name) {
        const auto c = static_cast<std::uint8_t>(ch);
        if (c < 0x20 || c == 0x7F || std::strchr("\"*:<>?|", c) != nullptr) return FR_INVALID_NAME;
    }
    return FR_OK;
}

struct Entry {
    std::string host;   // its name on the host
    std::string name;   // as the card spells it
};

// The entries of a directory the card can show, in the order of their
// upper-case names.
std::vector<Entry> list(int fd) {
    std::vector<Entry> entries;
    for (const std::string& host : card::host_names(fd)) {
        struct stat st;
        if (fstatat(fd, host.c_str(), &st, 0) != 0 || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) continue;
        Entry entry{host, {}};
        if (from_host(entry.host, entry.name)) entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        std::string ua = a.name, ub = b.name;
        for (char& c : ua) c = static_cast<char>(upper(static_cast<std::uint8_t>(c)));
        for (char& c : ub) c = static_cast<char>(upper(static_cast<std::uint8_t>(c)));
        return ua != ub ? ua < ub : a.host < b.host;
    });
    return entries;
}

// Where a path leads: its parent directory and the entry in it.
struct Place {
    int parent = -1;      // owned descriptor of the parent directory
    bool root = false;    // the path names the root directory itself
    bool exists = false;
    std::string host;     // the entry's host name (the new one when it does not exist)
    std::string name;     // as the path spells it
    struct stat st {};
    ~Place() {
        if (parent >= 0) ::close(parent);
    }
};

FRESULT locate(const TCHAR* path, Place& place) {
    std::vector<std::string> parts;
    std::string part;
    for (const TCHAR* p = path;; ++p) {
        if (*p == '/' || *p == '\\' || *p == '\0') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
            if (*p == '\0') break;
        } else {
            part += *p;
        }
    }
    int dir = ::dup(root_fd);
    int depth = 0;
    place.root = true;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string name = parts[i];
        const bool last = i + 1 == parts.size();
        if (name == "." || name == "..") {
            if (name == ".." && depth > 0) {
                const int up = openat(dir, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                ::close(dir);
                dir = up;
                --depth;
            }
            if (last) break;
            continue;
        }
        if (FRESULT r = check_name(name); r != FR_OK) {
            ::close(dir);
            return r;
        }
        place.root = false;
        const Entry* found = nullptr;
        std::vector<Entry> entries = list(dir);
        for (const Entry& e : entries)
            if (same_name(e.name, name)) {
                found = &e;
                break;
            }
        if (last) {
            place.parent = dir;
            place.name = name;
            if (found != nullptr) {
                place.exists = fstatat(dir, found->host.c_str(), &place.st, 0) == 0;
                place.host = found->host;
            } else if (!to_host(name, place.host)) {
                return FR_INVALID_NAME;
            }
            return FR_OK;
        }
        struct stat st;
        if (found == nullptr || fstatat(dir, found->host.c_str(), &st, 0) != 0 || !S_ISDIR(st.st_mode)) {
            ::close(dir);
            return FR_NO_PATH;
        }
        const int sub = openat(dir, found->host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(dir);
        if (sub < 0) return FR_DISK_ERR;
        dir = sub;
        ++depth;
    }
    // The path names a directory by itself (the root, or through dot names).
    place.parent = dir;
    place.root = true;
    place.exists = fstat(dir, &place.st) == 0;
    return FR_OK;
}

// Mounts the card when needed and finds where `path` leads; `fs` gets its
// volume.
FRESULT find(const TCHAR* path, Place& place, FATFS** fs = nullptr) {
    FATFS* volume = nullptr;
    if (FRESULT r = volume_of(path, volume); r != FR_OK) return r;
    if (fs != nullptr) *fs = volume;
    return locate(path, place);
}

// Finds an entry that must exist and be a name (not the root or a dot
// name): what stat, unlink and rename act on.
FRESULT find_entry(const TCHAR* path, Place& place) {
    if (FRESULT r = find(path, place); r != FR_OK) return r;
    if (place.root) return FR_INVALID_NAME;
    if (!place.exists) return FR_NO_FILE;
    return FR_OK;
}

bool read_only(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// --- locks: the objects open at once ------------------------------------------------------------------

Lock* lock_of(const struct stat& st) {
    for (Lock& l : locks)
        if (l.count != 0 && l.dev == st.st_dev && l.ino == st.st_ino) return &l;
    return nullptr;
}

// Takes a lock entry of its kind for an object opened for reading or
// writing.
FRESULT take_lock(const struct stat& st, bool write, Kind kind, BYTE& index) {
    if (Lock* l = lock_of(st)) {
        if (write || l->count == kWriter) return FR_LOCKED;
        ++l->count;
        index = static_cast<BYTE>(l - locks + 1);
        return FR_OK;
    }
    Lock* entries = entries_of(kind);
    for (Lock* l = entries; l != entries + FF_FS_LOCK; ++l)
        if (l->count == 0) {
            *l = Lock{st.st_dev, st.st_ino, write ? kWriter : 1u};
            index = static_cast<BYTE>(l - locks + 1);
            return FR_OK;
        }
    return FR_TOO_MANY_OPEN_FILES;
}

void release_lock(BYTE index) {
    if (index == 0 || index > 2 * FF_FS_LOCK) return;
    Lock& l = locks[index - 1];
    if (l.count == kWriter || l.count <= 1)
        l = Lock{};
    else
        --l.count;
}

bool lock_free_slot(Kind kind) {
    const Lock* entries = entries_of(kind);
    for (const Lock* l = entries; l != entries + FF_FS_LOCK; ++l)
        if (l->count == 0) return true;
    return false;
}

// Every call works with the host C library (its heap, its directory
// streams): no asynchronous switch inside.
struct HostRegion {
    HostRegion() { vSimNoPreemptEnter(); }
    ~HostRegion() { vSimNoPreemptExit(); }
    HostRegion(const HostRegion&) = delete;
    HostRegion& operator=(const HostRegion&) = delete;
};

FRESULT close_object(FFOBJID& obj) {
    if (FRESULT r = validate(obj); r != FR_OK) return r;
    ::close(obj.host);
    forget_descriptor(obj.host);
    release_lock(obj.lock);
    obj.fs = nullptr;
    obj.host = -1;
    obj.lock = 0;
    return FR_OK;
}

void fill_info(const std::string& name, const struct stat& st, FILINFO* fno) {
    if (fno == nullptr) return;
    std::memset(fno, 0, sizeof *fno);
    std::memcpy(fno->fname, name.data(), std::min<std::size_t>(name.size(), FF_MAX_LFN));
    fno->fattrib = static_cast<BYTE>(S_ISDIR(st.st_mode) ? AM_DIR : AM_ARC);
    if (read_only(st)) fno->fattrib |= AM_RDO;
    fno->fsize = S_ISDIR(st.st_mode) ? 0 : static_cast<FSIZE_t>(std::min<off_t>(st.st_size, 0xFFFFFFFF));
    struct tm tm {};
    const time_t t = st.st_mtime;
    if (localtime_r(&t, &tm) != nullptr && tm.tm_year >= 80) {
        fno->fdate = static_cast<WORD>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
        fno->ftime = static_cast<WORD>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    }
}

// Grows or shrinks a host file, keeping the card's accounting.
bool resize(int fd, FSIZE_t from, FSIZE_t to) {
    if (ftruncate(fd, static_cast<off_t>(to)) != 0) return false;
    used_bytes = used_bytes - clusters_of(from) + clusters_of(to);
    return true;
}

// The size a file may reach on the card as it is.
std::uint64_t room_for(FSIZE_t size) {
    const std::uint64_t limit = clusters_of(size) + free_bytes() / card::kClusterBytes * card::kClusterBytes;
    return std::min<std::uint64_t>(limit, 0xFFFFFFFFu);
}

}  // namespace

extern "C" {

FRESULT f_mount(FATFS* fs, const TCHAR* path, BYTE opt) {
    HostRegion region;
    int drive = 0;
    const TCHAR* rest = path;
    if (FRESULT r = drive_of(rest, drive); r != FR_OK) return r;
    if (volumes[drive] != nullptr) {
        if (drive == FF_SD_DRIVE) unmount_card();
        volumes[drive]->fs_type = 0;
    }
    volumes[drive] = fs;
    if (fs == nullptr) return FR_OK;
    fs->fs_type = 0;
    fs->pdrv = static_cast<BYTE>(drive);
    if (opt == 0) return FR_OK;
    FATFS* mounted = nullptr;
    return volume_of(path, mounted);
}

FRESULT f_chdrive(const TCHAR* path) {
    int drive = 0;
    if (FRESULT r = drive_of(path, drive); r != FR_OK) return r;
    current_drive = drive;
    return FR_OK;
}

FRESULT f_open(FIL* fp, const TCHAR* path, BYTE mode) {
    if (fp == nullptr) return FR_INVALID_OBJECT;
    card::access_delay();
    HostRegion region;
    fp->obj.fs = nullptr;
    fp->obj.host = -1;
    mode &= FA_READ | FA_WRITE | FA_CREATE_ALWAYS | FA_CREATE_NEW | FA_OPEN_ALWAYS | FA_OPEN_APPEND;
    FATFS* fs = nullptr;
    Place place;
    if (FRESULT r = find(path, place, &fs); r != FR_OK) return r;
    if (place.root) return FR_INVALID_NAME;
    const bool write = (mode & FA_WRITE) != 0;
    const bool create = (mode & (FA_CREATE_ALWAYS | FA_OPEN_ALWAYS | FA_CREATE_NEW)) != 0;
    if (place.exists) {
        if (S_ISDIR(place.st.st_mode)) return FR_NO_FILE;
        if ((mode & FA_CREATE_NEW) != 0) return FR_EXIST;
        if ((write || (mode & FA_CREATE_ALWAYS) != 0) && read_only(place.st)) return FR_DENIED;
    } else if (!create) {
        return FR_NO_FILE;
    }
    if (place.exists) {
        BYTE index = 0;
        if (FRESULT r = take_lock(place.st, write, Kind::kFile, index); r != FR_OK) return r;
        fp->obj.lock = index;
    } else if (!lock_free_slot(Kind::kFile)) {
        return FR_TOO_MANY_OPEN_FILES;
    }
    int flags = O_CLOEXEC | (write ? O_RDWR : O_RDONLY);
    if (!place.exists) flags |= O_CREAT | O_RDWR;
    const int fd = openat(place.parent, place.host.c_str(), flags, 0644);
    if (fd < 0) {
        if (place.exists) release_lock(fp->obj.lock);
        fp->obj.lock = 0;
        return errno == EACCES ? FR_DENIED : FR_DISK_ERR;
    }
    struct stat st;
    fstat(fd, &st);
    if (!place.exists) {
        BYTE index = 0;
        take_lock(st, write, Kind::kFile, index);
        fp->obj.lock = index;
    }
    FSIZE_t size = static_cast<FSIZE_t>(std::min<off_t>(st.st_size, 0xFFFFFFFF));
    if ((mode & FA_CREATE_ALWAYS) != 0 && size != 0) {
        resize(fd, size, 0);
        size = 0;
    }
    fp->obj.fs = fs;
    fp->obj.id = fs->id;
    fp->obj.attr = static_cast<BYTE>(read_only(st) ? AM_RDO : 0);
    fp->obj.objsize = size;
    fp->obj.host = fd;
    open_descriptors.push_back(fd);
    fp->flag = static_cast<BYTE>(mode & (FA_READ | FA_WRITE));
    fp->err = 0;
    fp->fptr = (mode & FA_OPEN_APPEND) == FA_OPEN_APPEND ? size : 0;
    return FR_OK;
}

FRESULT f_close(FIL* fp) {
    if (fp == nullptr) return FR_INVALID_OBJECT;
    HostRegion region;
    return close_object(fp->obj);
}

FRESULT f_read(FIL* fp, void* buff, UINT btr, UINT* br) {
    if (br != nullptr) *br = 0;
    if (fp == nullptr || br == nullptr) return FR_INVALID_OBJECT;
    card::access_delay();
    HostRegion region;
    if (FRESULT r = validate(fp->obj); r != FR_OK) return r;
    if ((fp->flag & FA_READ) == 0) return FR_DENIED;
    const FSIZE_t left = fp->obj.objsize - std::min(fp->fptr, fp->obj.objsize);
    const UINT n = std::min<UINT>(btr, left);
    if (n == 0) return FR_OK;
    const ssize_t got = pread(fp->obj.host, buff, n, static_cast<off_t>(fp->fptr));
    if (got < 0) {
        fp->err = FR_DISK_ERR;
        return FR_DISK_ERR;
    }
    fp->fptr += static_cast<FSIZE_t>(got);
    *br = static_cast<UINT>(got);
    return FR_OK;
}

FRESULT f_write(FIL* fp, const void* buff, UINT btw, UINT* bw) {
    if (bw != nullptr) *bw = 0;
    if (fp == nullptr || bw == nullptr) return FR_INVALID_OBJECT;
    card::access_delay();
    HostRegion region;
    if (FRESULT r = validate(fp->obj); r != FR_OK) return r;
    if ((fp->flag & FA_WRITE) == 0) return FR_DENIED;
    // What the card has room for, and no file beyond 4 GiB - 1: a short
    // count, as the card gives.
    const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{fp->fptr} + btw, room_for(fp->obj.objsize));
    const UINT n = end > fp->fptr ? static_cast<UINT>(end - fp->fptr) : 0;
    if (n == 0) return FR_OK;
    const ssize_t put = pwrite(fp->obj.host, buff, n, static_cast<off_t>(fp->fptr));
    if (put < 0) {
        fp->err = FR_DISK_ERR;
        return FR_DISK_ERR;
    }
    fp->fptr += static_cast<FSIZE_t>(put);
    if (fp->fptr > fp->obj.objsize) {
        used_bytes = used_bytes - clusters_of(fp->obj.objsize) + clusters_of(fp->fptr);
        fp->obj.objsize = fp->fptr;
    }
    *bw = static_cast<UINT>(put);
    return FR_OK;
}

FRESULT f_lseek(FIL* fp, FSIZE_t ofs) {
    if (fp == nullptr) return FR_INVALID_OBJECT;
    HostRegion region;
    if (FRESULT r = validate(fp->obj); r != FR_OK) return r;
    if (ofs > fp->obj.objsize) {
        if ((fp->flag & FA_WRITE) == 0) {
            ofs = fp->obj.objsize;
        } else {
            // Past the end in write mode the file grows, as far as the
            // card has room.
            const FSIZE_t to = static_cast<FSIZE_t>(std::min<std::uint64_t>(ofs, room_for(fp->obj.objsize)));
            if (to > fp->obj.objsize) {
                if (!resize(fp->obj.host, fp->obj.objsize, to)) return FR_DISK_ERR;
                fp->obj.objsize = to;
            }
            ofs = to;
        }
    }
    fp->fptr = ofs;
    return FR_OK;
}

FRESULT f_truncate(FIL* fp) {
    if (fp == nullptr) return FR_INVALID_OBJECT;
    HostRegion region;
    if (FRESULT r = validate(fp->obj); r != FR_OK) return r;
    if ((fp->flag & FA_WRITE) == 0) return FR_DENIED;
    if (fp->fptr < fp->obj.objsize) {
        if (!resize(fp->obj.host, fp->obj.objsize, fp->fptr)) return FR_DISK_ERR;
        fp->obj.objsize = fp->fptr;
    }
    return FR_OK;
}

FRESULT f_sync(FIL* fp) {
    if (fp == nullptr) return FR_INVALID_OBJECT;
    card::access_delay();
    HostRegion region;
    if (FRESULT r = validate(fp->obj); r != FR_OK) return r;
    return fdatasync(fp->obj.host) == 0 || errno == EINVAL ? FR_OK : FR_DISK_ERR;
}

FRESULT f_stat(const TCHAR* path, FILINFO* fno) {
    card::access_delay();
    HostRegion region;
    Place place;
    if (FRESULT r = find_entry(path, place); r != FR_OK) return r;
    std::string name;
    if (!from_host(place.host, name)) name = place.name;
    fill_info(name, place.st, fno);
    return FR_OK;
}

FRESULT f_unlink(const TCHAR* path) {
    card::access_delay();
    HostRegion region;
    Place place;
    if (FRESULT r = find_entry(path, place); r != FR_OK) return r;
    if (lock_of(place.st) != nullptr) return FR_LOCKED;
    if (read_only(place.st)) return FR_DENIED;
    if (S_ISDIR(place.st.st_mode)) {
        const int fd = openat(place.parent, place.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return FR_DISK_ERR;
        const bool empty = list(fd).empty();
        ::close(fd);
        if (!empty) return FR_DENIED;
        if (unlinkat(place.parent, place.host.c_str(), AT_REMOVEDIR) != 0) return FR_DENIED;
        used_bytes -= std::min<std::uint64_t>(used_bytes, card::kClusterBytes);
        return FR_OK;
    }
    if (unlinkat(place.parent, place.host.c_str(), 0) != 0) return FR_DENIED;
    used_bytes -= std::min<std::uint64_t>(used_bytes, clusters_of(static_cast<std::uint64_t>(place.st.st_size)));
    return FR_OK;
}

FRESULT f_rename(const TCHAR* path_old, const TCHAR* path_new) {
    card::access_delay();
    HostRegion region;
    Place from;
    if (FRESULT r = find_entry(path_old, from); r != FR_OK) return r;
    if (lock_of(from.st) != nullptr) return FR_LOCKED;
    // The new name is on the same drive; a drive prefix is allowed.
    int drive = 0;
    if (FRESULT r = drive_of(path_new, drive); r != FR_OK) return r;
    if (drive != FF_SD_DRIVE) return FR_INVALID_DRIVE;
    Place to;
    if (FRESULT r = locate(path_new, to); r != FR_OK) return r;
    if (to.root) return FR_INVALID_NAME;
    if (to.exists) {
        // Only the same entry under another case may be renamed onto.
        if (to.st.st_dev != from.st.st_dev || to.st.st_ino != from.st.st_ino) return FR_EXIST;
        if (!to_host(to.name, to.host)) return FR_INVALID_NAME;
    }
    if (S_ISDIR(from.st.st_mode)) {
        // A directory cannot move into itself or below it.
        struct stat st;
        int walk = ::dup(to.parent);
        for (;;) {
            if (fstat(walk, &st) != 0) break;
            if (st.st_dev == from.st.st_dev && st.st_ino == from.st.st_ino) {
                ::close(walk);
                return FR_INVALID_NAME;
            }
            if (st.st_dev == root_dev && st.st_ino == root_ino) break;
            const int up = openat(walk, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(walk);
            walk = up;
            if (walk < 0) break;
        }
        if (walk >= 0) ::close(walk);
    }
    if (renameat(from.parent, from.host.c_str(), to.parent, to.host.c_str()) != 0) return FR_DENIED;
    return FR_OK;
}

FRESULT f_mkdir(const TCHAR* path) {
    card::access_delay();
    HostRegion region;
    Place place;
    if (FRESULT r = find(path, place); r != FR_OK) return r;
    if (place.root || place.exists) return FR_EXIST;
    // A directory takes a cluster of its own.
    if (free_bytes() < card::kClusterBytes) return FR_DENIED;
    if (mkdirat(place.parent, place.host.c_str(), 0755) != 0) return FR_DENIED;
    used_bytes += card::kClusterBytes;
    return FR_OK;
}

FRESULT f_opendir(DIR* dp, const TCHAR* path) {
    if (dp == nullptr) return FR_INVALID_OBJECT;
    card::access_delay();
    HostRegion region;
    dp->obj.fs = nullptr;
    dp->obj.host = -1;
    FATFS* fs = nullptr;
    Place place;
    if (FRESULT r = find(path, place, &fs); r != FR_OK) return r == FR_NO_FILE ? FR_NO_PATH : r;
    if (!place.exists || !S_ISDIR(place.st.st_mode)) return FR_NO_PATH;
    BYTE index = 0;
    if (FRESULT r = take_lock(place.st, false, Kind::kDirectory, index); r != FR_OK) return r;
    const int fd = place.root ? ::dup(place.parent)
                              : openat(place.parent, place.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        release_lock(index);
        return FR_DISK_ERR;
    }
    dp->obj.fs = fs;
    dp->obj.id = fs->id;
    dp->obj.attr = AM_DIR;
    dp->obj.lock = index;
    dp->obj.objsize = 0;
    dp->obj.host = fd;
    open_descriptors.push_back(fd);
    dp->index = 0;
    return FR_OK;
}

FRESULT f_readdir(DIR* dp, FILINFO* fno) {
    if (dp == nullptr) return FR_INVALID_OBJECT;
    card::access_delay();
    HostRegion region;
    if (FRESULT r = validate(dp->obj); r != FR_OK) return r;
    if (fno == nullptr) {
        dp->index = 0;
        return FR_OK;
    }
    std::vector<Entry> entries = list(dp->obj.host);
    if (dp->index >= entries.size()) {
        std::memset(fno, 0, sizeof *fno);
        return FR_OK;
    }
    const Entry& e = entries[dp->index++];
    struct stat st;
    if (fstatat(dp->obj.host, e.host.c_str(), &st, 0) != 0) return FR_DISK_ERR;
    fill_info(e.name, st, fno);
    return FR_OK;
}

FRESULT f_closedir(DIR* dp) {
    if (dp == nullptr) return FR_INVALID_OBJECT;
    HostRegion region;
    return close_object(dp->obj);
}

}  // extern "C"
