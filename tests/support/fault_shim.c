/* Loaded with LD_PRELOAD into a program under test to make the C library's
 * stream calls fail the way a failing disk makes them fail:
 *   FAULT_FCLOSE=1        fclose closes the stream but reports failure;
 *   FAULT_FWRITE_FROM=k   the k-th fwrite (counting from 1) and every later
 *                         one write nothing and report failure. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

static long fwriteCalls = 0;

/* POSIX's way to turn dlsym's object pointer into a function pointer. */
static void* nextSymbol(const char* name) { return dlsym(RTLD_NEXT, name); }

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
    const char* from = getenv("FAULT_FWRITE_FROM");
    if (from != NULL && ++fwriteCalls >= atol(from)) {
        errno = ENOSPC;
        return 0;
    }
    return realFwrite(data, size, count, stream);
}
