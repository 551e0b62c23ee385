#pragma once

// Kestrel: the headset's HID interfaces, found by vendor id, product id, usage
// page and usage. Every transfer opens the interface by its path, works and
// closes it again; an optional vendor interface is polled on a task of the
// global thread pool and its input reports go to a registered callback.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <atomic>

#if defined(KESTREL9_STATIC)
#define KESTREL9_EXPORT
#elif defined(KESTREL9_BUILDING)
#define KESTREL9_EXPORT __attribute__((visibility("default")))
#else
#define KESTREL9_EXPORT
#endif

struct KestrelPrivate;

class KESTREL9_EXPORT Kestrel {
public:
    using ReadCallback = void (*)(QList<QVariant> report, void* userData);
    using LostCallback = void (*)(void* userData);

    // Identifiers as hexadecimal text without prefix ("04D9", "000C"); text
    // that does not parse gives 0. The vendor interface counts only with a
    // vendor-defined usage page (0xFF00 to 0xFFFF).
    Kestrel(QString vendorId, QString productId, QString usagePage, QString usage,
            QString vendorUsagePage, QString vendorUsage);
    // Stops the poll and waits until it has ended. Destroying the object from
    // one of its own poll callbacks is a fault the poll could only answer by
    // waiting for itself for ever: it stops the program with a fatal message.
    ~Kestrel();

    Kestrel(const Kestrel&) = delete;
    Kestrel& operator=(const Kestrel&) = delete;

    static bool testConnect(QString vendorId, QString productId, QString usagePage, QString usage);
    static QStringList scanHidDevice(QString vendorId, QString productId);

    bool connect();

    // The vendor poll runs on the global thread pool and hands each input
    // report to the read callback; when the interface can't be opened any more
    // it clears `connected` and ends, telling the lost callback last. The
    // callbacks run on the poll's thread and may call this object back.
    //
    // connect_vendor restarts the poll on the vendor interface that connect
    // found; disconnect_vendor stops it. Called on any other thread, both wait
    // until the poll has ended, a callback in progress included. Called from a
    // callback, they only tell the poll to stop, and it ends when the callback
    // returns; so a callback may also connect again.
    void connect_vendor();
    void disconnect_vendor();
    // The poll's body, run on the calling thread until it is stopped or loses
    // the interface; it replaces any poll under way.
    void polling_vendor(QString path);
    void reg_Vendor(ReadCallback read, LostCallback lost, void* userData);

    void set_reportId(unsigned char reportId, unsigned char vendorReportId);
    void set_delay(unsigned int featureDelayMs, unsigned int writeDelayMs);

    // The one-argument forms move one report's payload (feature length - 1
    // bytes) to or from `data`; the forms with a length never touch more than
    // `length` bytes of it.
    bool setReport(unsigned char* data);
    bool getReport(unsigned char* data);
    bool setReport(const unsigned char* data, unsigned int length);
    bool getReport(unsigned char* data, unsigned int length);

    bool writeData(unsigned int n, unsigned char* data);
    bool readData(unsigned int n, unsigned char* data);

    void set_mem(QString vendorId, QString productId, QString usagePage, QString usage,
                 QString vendorUsagePage, QString vendorUsage);

    // Set by a connect that found every interface it looks for; cleared by
    // set_mem and by the poll when the vendor interface is gone, unless a
    // connect has begun since the poll started: a poll never undoes a newer
    // connect.
    std::atomic<bool> connected{false};

private:
    bool ensureConnected();

    KestrelPrivate* d;
};
