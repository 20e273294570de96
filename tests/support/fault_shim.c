/* Loaded with LD_PRELOAD into a program under test to make the C library's
 * stream and file calls fail the way a failing disk (or another program
 * changing the file) makes them fail. Counts start from 1.
 *   FAULT_FCLOSE=1          fclose closes the stream but reports failure;
 *   FAULT_FWRITE_FROM=k     the k-th fwrite and every later one write nothing
 *                           and report failure;
 *   FAULT_FREAD=1           fread reads nothing and reports an error;
 *   FAULT_FGETC_FROM=k      the k-th fgetc and every later one report an error;
 *   FAULT_SHRINK_AFTER_FWRITE=n  after the first fwrite, the stream's file is
 *                           cut to n bytes, as if another program cut it;
 *   FAULT_WRITE_FROM=k      the k-th write and every later one fail (ENOSPC);
 *   FAULT_WRITE_LIMIT=n     each write stores at most n bytes;
 *   FAULT_WRITE_BLOCK_FROM=k  the k-th write and every later one wait (up to
 *                           ten seconds, or until a signal is handled) before
 *                           they write, so that a test can interrupt the
 *                           program while its file is half made;
 *   FAULT_READ_FROM=k       the k-th read and every later one fail (EIO);
 *   FAULT_READ_LIMIT=n      each read delivers at most n bytes;
 *   FAULT_READ_END_AFTER=n  reads find the end of the file after n bytes in
 *                           all, as if the file had shrunk since it was opened;
 *   FAULT_FSYNC=1           fsync fails (EIO);
 *   FAULT_CLOSE_WRITTEN=1   closing a descriptor that was written to fails
 *                           (EIO), as a network or full disk may report late;
 *   FAULT_RENAME=1          rename fails (EIO).
 * The program's own calls are affected; the C library's internal ones (its
 * standard output, for one) are not. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static long fwriteCalls = 0;
static long fgetcCalls = 0;
static long writeCalls = 0;
static long blockedWriteCalls = 0;
static long readCalls = 0;
static long bytesRead = 0;
static int shrunk = 0;
static char written[4096]; /* which descriptors have been written to */

static long setting(const char* name) {
    const char* value = getenv(name);
    return value == NULL ? -1 : atol(value);
}

/* Counts a call; true from the call that the setting names on. */
static int failsFrom(const char* name, long* calls) {
    const long from = setting(name);
    return from > 0 && ++*calls >= from;
}

/* A size cut to the setting's limit, where one is set. */
static size_t limited(const char* name, size_t size) {
    const long limit = setting(name);
    return limit > 0 && size > (size_t)limit ? (size_t)limit : size;
}

/* POSIX's way to turn dlsym's object pointer into a function pointer. */
static void* nextSymbol(const char* name) {
    return dlsym(RTLD_NEXT, name);
}

int fclose(FILE* stream) {
    int (*realFclose)(FILE*);
    *(void**)(&realFclose) = nextSymbol("fclose");
    const int result = realFclose(stream);
    if (getenv("FAULT_FCLOSE") != NULL) {
        errno = EIO;
        return EOF;
    }
    return result;
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
    size_t (*realFwrite)(const void*, size_t, size_t, FILE*);
    *(void**)(&realFwrite) = nextSymbol("fwrite");
    if (failsFrom("FAULT_FWRITE_FROM", &fwriteCalls)) {
        errno = ENOSPC;
        return 0;
    }
    const size_t result = realFwrite(data, size, count, stream);
    const long shrinkTo = setting("FAULT_SHRINK_AFTER_FWRITE");
    if (shrinkTo >= 0 && !shrunk) {
        shrunk = 1;
        if (ftruncate(fileno(stream), shrinkTo) != 0) {
            abort();
        }
    }
    return result;
}

size_t fread(void* data, size_t size, size_t count, FILE* stream) {
    size_t (*realFread)(void*, size_t, size_t, FILE*);
    *(void**)(&realFread) = nextSymbol("fread");
    if (setting("FAULT_FREAD") > 0) {
        errno = EIO;
        return 0;
    }
    return realFread(data, size, count, stream);
}

int fgetc(FILE* stream) {
    int (*realFgetc)(FILE*);
    *(void**)(&realFgetc) = nextSymbol("fgetc");
    if (failsFrom("FAULT_FGETC_FROM", &fgetcCalls)) {
        errno = EIO;
        return EOF;
    }
    return realFgetc(stream);
}

ssize_t write(int fd, const void* data, size_t size) {
    ssize_t (*realWrite)(int, const void*, size_t);
    *(void**)(&realWrite) = nextSymbol("write");
    if (failsFrom("FAULT_WRITE_FROM", &writeCalls)) {
        errno = ENOSPC;
        return -1;
    }
    if (failsFrom("FAULT_WRITE_BLOCK_FROM", &blockedWriteCalls)) {
        sleep(10);
    }
    size = limited("FAULT_WRITE_LIMIT", size);
    if (fd >= 0 && fd < (int)sizeof written) {
        written[fd] = 1;
    }
    return realWrite(fd, data, size);
}

ssize_t read(int fd, void* data, size_t size) {
    ssize_t (*realRead)(int, void*, size_t);
    *(void**)(&realRead) = nextSymbol("read");
    if (failsFrom("FAULT_READ_FROM", &readCalls)) {
        errno = EIO;
        return -1;
    }
    size = limited("FAULT_READ_LIMIT", size);
    const long end = setting("FAULT_READ_END_AFTER");
    if (end >= 0) {
        if (bytesRead >= end) {
            return 0;
        }
        if (size > (size_t)(end - bytesRead)) {
            size = (size_t)(end - bytesRead);
        }
    }
    const ssize_t got = realRead(fd, data, size);
    if (got > 0) {
        bytesRead += got;
    }
    return got;
}

int fsync(int fd) {
    int (*realFsync)(int);
    *(void**)(&realFsync) = nextSymbol("fsync");
    if (setting("FAULT_FSYNC") > 0) {
        errno = EIO;
        return -1;
    }
    return realFsync(fd);
}

int close(int fd) {
    int (*realClose)(int);
    *(void**)(&realClose) = nextSymbol("close");
    const int result = realClose(fd);
    if (fd >= 0 && fd < (int)sizeof written && written[fd]) {
        written[fd] = 0;
        if (setting("FAULT_CLOSE_WRITTEN") > 0) {
            errno = EIO;
            return -1;
        }
    }
    return result;
}

int rename(const char* from, const char* to) {
    int (*realRename)(const char*, const char*);
    *(void**)(&realRename) = nextSymbol("rename");
    if (setting("FAULT_RENAME") > 0) {
        errno = EIO;
        return -1;
    }
    return realRename(from, to);
}
