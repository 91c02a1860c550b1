// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace wizard {

// The printer's status record: raw status bytes 0 to 9, then 11 to 16 (raw
// byte 10 is not kept). Record byte 9, bit 0x02 set: the cover is open.
struct CommStatus {
    std::uint8_t bytes[16];
};
static_assert(sizeof(CommStatus) == 16, "the status record is copied as four 32-bit words");

// A connection to one printer, built by FactoryCommLayer for one page action,
// used on that action's thread and deleted at its end. Every failure is a
// false result; nothing throws, and no error is kept for later.
//
// A layer is closed or open. It starts closed and becomes open only through a
// successful Open; Close and the destructor close it again whatever the other
// side answers. On a closed layer Write, Read, ReadStatus, ReadStatusRpst and
// Close return false without any exchange and leave their arguments as they
// were. A failed Write or Read leaves the layer open; a failed status read
// leaves it open on the pipe layer and closes it on the device-library layer.
//
// The two layers:
// - DurvoCommLayer goes through the device-access library, which opens the
//   printer by the name of its print queue.
// - VekCommLayer asks the printer-communication service on the pipe
//   "\\.\pipe\ExtCom" + the printer's identifier; every operation is one
//   conversation on a fresh pipe connection, and the service does the printer
//   calls with the time limit that travels in each message.
//
// Every operation traces itself on entry, except that DurvoCommLayer writes
// the Write, Read, ReadStatus, ReadStatusRpst and Close lines only when it is
// open; VekCommLayer writes them also on a closed layer.
class IMCommLayer {
public:
    // Connects to the printer of the print queue printerName. True: the layer
    // is open. False on an open layer (the first connection is kept, nothing is
    // sent, the other side is not asked), for a null name, and when the printer
    // cannot be reached; a failed Open leaves the layer closed and a later Open
    // may try again.
    // - DurvoCommLayer opens printerName itself: the name goes to the library
    //   in the system's ANSI code page (UTF-8 on Linux), at most 220 bytes (a
    //   longer name is refused before the library is asked). The printer must
    //   answer "\ePem;2\r" with exactly "OK"; a device that does not is
    //   released again before Open returns.
    // - VekCommLayer uses printerName only to read the queue's printer
    //   identifier (40 characters, else false without touching the pipe),
    //   which names the service's pipe; the service opens the printer of that
    //   identifier. The printer name given to its constructor is not the one
    //   opened: it travels in the name field of every message (zeros when none
    //   was given) and must be shorter than 32 UTF-16 units, or Open fails.
    //   The service's channel and its values of the first three options are
    //   taken from its reply and sent from then on.
    virtual bool Open(const wchar_t* printerName) = 0;

    // Sends exactly length bytes, unchanged, as one command. True once all of
    // them were taken: by the library (DurvoCommLayer), or by the service,
    // which hands them to the printer in one write once the last chunk of
    // 1024 bytes has come (VekCommLayer). A negative length, or null bytes with
    // a length above 0, is false: DurvoCommLayer refuses it before the library
    // is asked, VekCommLayer after announcing itself on the pipe, without
    // sending a message. A length of 0 goes to the library on DurvoCommLayer;
    // VekCommLayer refuses it as it refuses a negative one.
    virtual bool Write(const char* bytes, std::int32_t length) = 0;

    // Receives one reply into buffer (capacity bytes) and stores its length in
    // *received. The caller fills the buffer with zeros first, so a text reply
    // ends in NUL.
    // - DurvoCommLayer: the library writes the reply and its length; a null
    //   received, or a null buffer with a capacity above 0, is false before
    //   the library is asked, leaving both as they were. After a failed
    //   library call they hold what the library left (it stores 0 as the
    //   length).
    // - VekCommLayer: the buffer is zero-filled up to capacity and the first
    //   min(capacity, length) bytes copied; *received is the reply's whole
    //   length, which may exceed capacity. A null buffer or received is false
    //   only after the exchange (the reply is taken and dropped). On failure
    //   buffer and *received are untouched.
    virtual bool Read(char* buffer, std::uint32_t capacity, std::int32_t* received) = 0;

    // Fills *status with the printer's status record; on failure *status is
    // untouched.
    // - DurvoCommLayer asks the library's status call with 1000 ms, whatever
    //   the layer's time limit (which stays as it was). A failed call, or a
    //   block that is exactly the text "Time out", closes the layer (the printer gets
    //   "\ePem;0\r" and is released) and returns false. A null status is
    //   allowed: the status is read and true returned.
    // - VekCommLayer sends one status request; a failure leaves the layer
    //   open. A null status is false after the exchange.
    virtual bool ReadStatus(CommStatus* status) = 0;

    // The same record as ReadStatus, with the same failures and null status.
    // DurvoCommLayer obtains it through the printer's extended status
    // ("\eRpst\r", answered in hexadecimal pairs), write and read with 1000 ms;
    // VekCommLayer sends a request identical to that of ReadStatus.
    virtual bool ReadStatusRpst(CommStatus* status) = 0;

    // Ends the connection. False at once on a closed layer. On an open one the
    // layer is closed afterwards whatever the outcome; true only if it ended
    // cleanly: the library released the device (DurvoCommLayer, after sending
    // "\ePem;0\r" and dropping its reply, neither of which counts), or the
    // service answered the close with success (VekCommLayer).
    virtual bool Close() = 0;

    // The time limit of later exchanges, in milliseconds; 1000 at construction.
    // Set and read at any time, open or not, without any exchange. DurvoCommLayer
    // hands it to the library's write and read calls (status reads keep their
    // own 1000 ms); VekCommLayer sends it in every message, and bounds each
    // pipe transfer by it plus a grace of 5000 ms.
    virtual void SetTimeout(std::int32_t milliseconds) = 0;
    virtual std::int32_t GetTimeout() = 0;

    // Closes the connection, as Close does, if it is still open; a layer whose
    // Open failed sends nothing.
    virtual ~IMCommLayer() = default;
};

} // namespace wizard
