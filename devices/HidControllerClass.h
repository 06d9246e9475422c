#pragma once
// The HID device layer: the list of HID devices present, notice of every change
// of that list, and per device its identity, report lengths, synchronous
// writing of output reports and a read thread that hands each input report to
// the GUI thread.
//
// Everything but the read threads runs on the GUI thread. A read thread waits
// for one report, hands it over queued (against the controller, so nothing is
// delivered once it is gone; a report for a device that is gone is dropped; the
// device is kept alive while its handler runs) and waits until the handler has
// run, so the next report never overtakes the handler. Stopping a reader cancels
// a pending handover and wakes the thread before joining it, so a reader stopped
// from inside its own handler, or while the GUI thread is busy, never deadlocks;
// a report pending at that moment is dropped.
//
// Devices are shared: the controller lists them, a user checks one out and gives
// it back through CheckIn, which puts a fresh checked-in object in its place.
// A checked-out device that is unplugged stays listed until it is checked in.

#include "framework/uErrors.h"
#include "platform/Hid.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QSocketNotifier;
class THidDevice;
class THidDeviceController;

using THidPlugEvent = std::function<void(THidDevice&)>;
using THidEnumerateEvent = std::function<bool(THidDevice&, int)>;
using THidDataEvent = std::function<void(THidDevice&, std::uint8_t reportID, const std::uint8_t* data, std::uint16_t size)>;
using THidDataErrorEvent = std::function<void(THidDevice&, std::uint32_t error)>;
using TNotifyEvent = std::function<void(THidDeviceController&)>;

class EControllerError : public EPvError {
public:
    using EPvError::EPvError;
};

struct THidDAttributes {
    std::uint32_t Size = 12;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

// Identity and place of one device: the instance key stays the same while the
// device stays plugged in and changes when it is plugged in again.
class THidPnPInfo {
public:
    explicit THidPnPInfo(THidDeviceInfo info) : Info(std::move(info)) {}
    const QString& InstanceNumber() const { return Info.InstanceKey; }
    const QString& InterfacePath() const { return Info.Path; }
    THidDeviceInfo Info;
};

// Waits for input reports of one device and hands each to the GUI thread.
class THidDeviceReadThread {
public:
    // Starts at once, reading from fd with a report buffer of inputLength bytes;
    // handovers run against context (the controller)
    // (the report-ID byte included); numbered: the device sends the ID byte
    // itself, otherwise byte 0 is 0 and the report is read behind it.
    THidDeviceReadThread(THidDevice& device, QObject* context, int fd, int inputLength, bool numbered);
    ~THidDeviceReadThread();
    THidDeviceReadThread(const THidDeviceReadThread&) = delete;
    THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;

    // Cancels a pending handover, wakes the thread and joins it.
    void Terminate();

private:
    struct THandover {
        std::mutex Lock;
        std::condition_variable Changed;
        bool Done = false;
        bool Cancelled = false;
    };

    void Execute();
    // Runs action on the GUI thread and waits until it ran or the reader stops.
    void RunOnGuiThread(std::function<void(THidDevice&)> action);
    void DeliverReport(std::size_t bytes);
    void DeliverReadError(std::uint32_t error);
    bool WaitStop(int ms);   // true when stopped

    THidDevice& FDevice;   // outlives the thread; only its atomic poll time is read here
    std::weak_ptr<THidDevice> FWeakDevice;
    QObject* FContext;     // the controller
    int FFd;
    int FStop = -1;        // eventfd
    bool FNumbered;
    std::vector<std::uint8_t> FReport;
    std::atomic<bool> FTerminated{false};
    std::mutex FPendingLock;
    std::shared_ptr<THandover> FPending;
    std::thread FThread;
};

class THidDevice : public std::enable_shared_from_this<THidDevice> {
public:
    // Opens the node once to learn whether it can be read and written; a node
    // that cannot even be found raises "device cannot be opened", one without
    // identity "device cannot be identified".
    THidDevice(std::unique_ptr<THidPnPInfo> info, THidDeviceController* controller);
    ~THidDevice();
    THidDevice(const THidDevice&) = delete;
    THidDevice& operator=(const THidDevice&) = delete;

    const THidPnPInfo& PnPInfo() const { return *FPnPInfo; }
    const THidDAttributes& Attributes() const { return FAttributes; }
    QString ProductString() const { return FPnPInfo->Info.Product; }
    QString SerialNumberString() const { return FPnPInfo->Info.Serial; }
    // Report lengths from the report descriptor (read through the node when the
    // system gave none); all zero when neither can be read.
    const THidCaps& Caps();

    bool IsPluggedIn() const { return FPluggedIn; }
    bool IsCheckedOut() const { return FCheckedOut; }
    bool HasReadWriteAccess() const { return FHasReadWriteAccess; }
    bool HasReader() const { return FReadThread != nullptr; }

    // hidraw keeps its own queue of reports per open file: the counts are kept
    // and read back, and setting one opens the matching handle.
    int InputBufferCount() const { return FInputBufferCount; }
    void SetInputBufferCount(int n);
    int OverlappedBufferCount() const { return FOverlappedBufferCount; }
    void SetOverlappedBufferCount(int n);

    // 10..10000 ms; other values are ignored.
    int ReadPollTime() const { return FReadPollTime; }
    void SetReadPollTime(int ms);

    // None stops the read thread first; a handler starts it when allowed.
    const THidDataEvent& ReportHandler() const { return FReportHandler; }
    void SetReportHandler(THidDataEvent handler);
    THidDataErrorEvent ReadErrorHandler;
    THidPlugEvent UnplugHandler;   // fires once

    // Writes one whole report (byte 0 = report ID) through the synchronous
    // handle; false with 0 written when the handle cannot be opened or the
    // write fails.
    bool WriteReport(const std::uint8_t* buffer, std::size_t length, std::size_t& written);

private:
    friend class THidDeviceController;

    bool Usable() const { return FPluggedIn && (FCheckedOut || FEnumerating); }
    THidBackend* Backend() const;
    void OpenSyncHandle();
    void CloseSyncHandle();
    bool OpenReadHandle();
    void CloseReadHandle();
    void CloseHandles();
    void MarkUnplugged();
    void StartReader();
    void StopReader();

    THidDeviceController* FController;
    std::unique_ptr<THidPnPInfo> FPnPInfo;
    THidDAttributes FAttributes;
    THidBackend* FBackend = nullptr;     // the controller's; kept when the controller goes
    bool FPluggedIn = true;
    bool FCheckedOut = false;
    bool FEnumerating = false;
    bool FHasReadWriteAccess = false;
    int FSyncFd = -1;
    int FReadFd = -1;
    bool FCapsRead = false;
    THidCaps FCaps;
    int FInputBufferCount = 0;
    int FOverlappedBufferCount = 0;
    std::atomic<int> FReadPollTime{100};
    THidDataEvent FReportHandler;
    // Whether the handlers are still the controller's (they follow its changes).
    bool FReportFromController = false;
    bool FErrorFromController = false;
    bool FUnplugFromController = false;
    std::unique_ptr<THidDeviceReadThread> FReadThread;
};

class THidDeviceController : public QObject {
    Q_OBJECT
public:
    // Takes the backend; when it offers devices, the first comparison runs
    // once the event loop turns and the backend's notices are watched.
    explicit THidDeviceController(std::unique_ptr<THidBackend> backend, QObject* parent = nullptr);
    ~THidDeviceController() override;

    THidPlugEvent OnArrival;
    THidPlugEvent OnRemoval;
    THidEnumerateEvent OnEnumerate;   // kept only
    TNotifyEvent OnDeviceChange;

    const THidDataEvent& OnDeviceData() const { return FOnDeviceData; }
    void SetOnDeviceData(THidDataEvent handler);
    const THidDataErrorEvent& OnDeviceDataError() const { return FOnDeviceDataError; }
    void SetOnDeviceDataError(THidDataErrorEvent handler);
    const THidPlugEvent& OnDeviceUnplug() const { return FOnDeviceUnplug; }
    void SetOnDeviceUnplug(THidPlugEvent handler);
    int DevThreadSleepTime() const { return FDevThreadSleepTime; }
    void SetDevThreadSleepTime(int ms);
    QString Version() const { return QStringLiteral("1.0.34"); }

    // The first listed device not checked out (its reader starts when allowed);
    // false and none when there is none.
    bool CheckOutNext(std::shared_ptr<THidDevice>& device);
    bool CheckOutAt(std::shared_ptr<THidDevice>& device, int index);
    // Gives a checked-out device back; device is none afterwards.
    void CheckIn(std::shared_ptr<THidDevice>& device);

    // Compares the present devices with the list.
    void DeviceChange();

    const std::vector<std::shared_ptr<THidDevice>>& Devices() const { return FDevices; }
    THidBackend& Backend() const { return *FBackend; }

private:
    std::vector<std::shared_ptr<THidDevice>> ListPresentDevices();
    bool TryCheckOut(int index, std::shared_ptr<THidDevice>& device);
    void NoticeArrived();

    std::unique_ptr<THidBackend> FBackend;
    std::vector<std::shared_ptr<THidDevice>> FDevices;
    THidDataEvent FOnDeviceData;
    THidDataErrorEvent FOnDeviceDataError;
    THidPlugEvent FOnDeviceUnplug;
    int FDevThreadSleepTime = 100;
    bool FInChange = false;
    bool FChangeAgain = false;   // a notice came during a comparison
    bool FFirstNotice = true;
    QSocketNotifier* FNotifier = nullptr;
};
