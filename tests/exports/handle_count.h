/* The kernel handles a Windows process holds open, counted by probing handle
 * values (multiples of 4) with GetHandleInformation: under Wine
 * GetProcessHandleCount returns 0. Plain C, for the C and C++ host tests. */
#ifndef MKLABEL_TEST_HANDLE_COUNT_H
#define MKLABEL_TEST_HANDLE_COUNT_H

#include <windows.h>

static inline unsigned long openHandleCount(void) {
    unsigned long count = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation((HANDLE)value, &flags)) ++count;
    }
    return count;
}

#endif
