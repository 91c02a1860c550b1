// SPDX-License-Identifier: MIT
// The device-access library: opens a card printer by its queue name and moves
// bytes to and from it. Every call returns nonzero on success, 0 on failure; reads
// and writes end by their time limit. passA and passB are accepted and not used.
// One handle may be used by one thread at a time; handles are independent.
#ifndef DURVO_H
#define DURVO_H

#include <stdint.h>

#ifdef _WIN32
#define DURVO_CALL __stdcall
#define DURVO_EXPORT __declspec(dllexport)
#else
#define DURVO_CALL
#define DURVO_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t QuarleHandle; /* 0: no device */

/* name: the print queue's name, NUL-terminated, in the system's ANSI code page. The
   queue must send to a TCP port: device socket://host[:port] on Linux, a port named
   IP_host[:port] on Windows; README.md says how it is found. */
DURVO_EXPORT QuarleHandle DURVO_CALL OpenQuarle(const char* name);
DURVO_EXPORT int32_t DURVO_CALL CloseQuarle(QuarleHandle handle);
/* Nonzero when all `length` bytes were sent within `timeoutMs`, as one packet. A
   write the limit cuts half-way leaves the handle failing: the printer saw half a packet. */
DURVO_EXPORT int32_t DURVO_CALL WriteQuarleExEx(
    QuarleHandle handle, const char* bytes, int32_t length, int32_t timeoutMs, int32_t passA, int32_t passB);
/* Nonzero when a reply arrived within `timeoutMs`: its bytes at the start of `buffer`
   (at most `capacity`; the rest of a longer reply is dropped, no NUL is added), their
   number in *received. On failure *received is 0. */
DURVO_EXPORT int32_t DURVO_CALL ReadQuarleExEx(QuarleHandle handle, char* buffer, uint32_t capacity,
    int32_t* received, int32_t timeoutMs, int32_t passA, int32_t passB);
/* Nonzero with the printer's raw status block at the start of `buffer` (at most
   `capacity` bytes), its length in *received. When the printer does not answer within
   `timeoutMs` the call returns 0, *received is 0 and `buffer` holds "Time out" (with
   its NUL when `capacity` allows, cut at `capacity` otherwise). */
DURVO_EXPORT int32_t DURVO_CALL ReadStatusExEx(QuarleHandle handle, char* buffer, uint32_t capacity,
    int32_t* received, int32_t timeoutMs, int32_t passA, int32_t passB);

/* Names the wizard resolves at run time. */
#define DURVO_LIBRARY_NAME_WIN32 "durvo.dll"
#define DURVO_LIBRARY_NAME_LINUX "libdurvo.so"

#ifdef __cplusplus
}
#endif

#endif
