/* The FAT file system of the SD card as the firmware calls it: volumes,
 * files and directories with long names in code page 850. On the host the
 * card is a directory (see platform/fatfs/README.md); this header includes
 * no host header. Not thread-safe: one task (the file worker) makes every
 * call after the card is mounted. */
#ifndef TARVELO_FF_H
#define TARVELO_FF_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int UINT;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef char TCHAR;
/* File sizes and positions: a FAT32 file holds at most 0xFFFFFFFF bytes. */
typedef DWORD FSIZE_t;

/* Longest long name in characters (bytes of code page 850), without NUL. */
#define FF_MAX_LFN 255
/* Files open at once, and as many directories besides, on all volumes
   together: each kind has entries of its own. */
#define FF_FS_LOCK 2
/* Logical drives 0 to FF_VOLUMES - 1; the SD card is drive 2. */
#define FF_VOLUMES 3
#define FF_SD_DRIVE 2

typedef enum {
    FR_OK = 0,
    FR_DISK_ERR = 1,
    FR_INT_ERR = 2,
    FR_NOT_READY = 3,
    FR_NO_FILE = 4,
    FR_NO_PATH = 5,
    FR_INVALID_NAME = 6,
    FR_DENIED = 7,
    FR_EXIST = 8,
    FR_INVALID_OBJECT = 9,
    FR_WRITE_PROTECTED = 10,
    FR_INVALID_DRIVE = 11,
    FR_NOT_ENABLED = 12,
    FR_NO_FILESYSTEM = 13,
    FR_MKFS_ABORTED = 14,
    FR_TIMEOUT = 15,
    FR_LOCKED = 16,
    FR_NOT_ENOUGH_CORE = 17,
    FR_TOO_MANY_OPEN_FILES = 18,
    FR_INVALID_PARAMETER = 19
} FRESULT;

/* Open modes. */
#define FA_READ 0x01
#define FA_WRITE 0x02
#define FA_OPEN_EXISTING 0x00
#define FA_CREATE_NEW 0x04
#define FA_CREATE_ALWAYS 0x08
#define FA_OPEN_ALWAYS 0x10
#define FA_OPEN_APPEND 0x30

/* Attributes. */
#define AM_RDO 0x01
#define AM_HID 0x02
#define AM_SYS 0x04
#define AM_DIR 0x10
#define AM_ARC 0x20

/* A volume (one per logical drive). */
typedef struct {
    BYTE fs_type; /* 0: not mounted */
    BYTE pdrv;
    WORD id;      /* mount id: objects opened before a remount are invalid */
} FATFS;

/* The part of an object common to files and directories. */
typedef struct {
    FATFS* fs;
    WORD id;
    BYTE attr;
    BYTE lock; /* index + 1 of its lock entry, 0 for none */
    FSIZE_t objsize;
    int32_t host; /* the host descriptor behind the object */
} FFOBJID;

typedef struct {
    FFOBJID obj;
    BYTE flag; /* FA_READ, FA_WRITE */
    BYTE err;
    FSIZE_t fptr;
} FIL;

typedef struct {
    FFOBJID obj;
    DWORD index; /* next entry to read */
} DIR;

typedef struct {
    FSIZE_t fsize;
    WORD fdate;
    WORD ftime;
    BYTE fattrib;
    TCHAR altname[13];
    TCHAR fname[FF_MAX_LFN + 1];
} FILINFO;

#define f_tell(fp) ((fp)->fptr)
#define f_size(fp) ((fp)->obj.objsize)
#define f_eof(fp) ((int)((fp)->fptr == (fp)->obj.objsize))
#define f_error(fp) ((fp)->err)
#define f_rewind(fp) f_lseek((fp), 0)
#define f_rewinddir(dp) f_readdir((dp), 0)

FRESULT f_mount(FATFS* fs, const TCHAR* path, BYTE opt);
FRESULT f_chdrive(const TCHAR* path);
FRESULT f_open(FIL* fp, const TCHAR* path, BYTE mode);
FRESULT f_close(FIL* fp);
FRESULT f_read(FIL* fp, void* buff, UINT btr, UINT* br);
FRESULT f_write(FIL* fp, const void* buff, UINT btw, UINT* bw);
FRESULT f_lseek(FIL* fp, FSIZE_t ofs);
FRESULT f_truncate(FIL* fp);
FRESULT f_sync(FIL* fp);
FRESULT f_stat(const TCHAR* path, FILINFO* fno);
FRESULT f_unlink(const TCHAR* path);
FRESULT f_rename(const TCHAR* path_old, const TCHAR* path_new);
FRESULT f_mkdir(const TCHAR* path);
FRESULT f_opendir(DIR* dp, const TCHAR* path);
FRESULT f_readdir(DIR* dp, FILINFO* fno);
FRESULT f_closedir(DIR* dp);

#ifdef __cplusplus
}
#endif

#endif /* TARVELO_FF_H */
