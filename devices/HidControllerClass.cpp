#include "devices/HidControllerClass.h"

#include "framework/uErrorLog.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

// ---- read thread ----

THidDeviceReadThread::THidDeviceReadThread(THidDevice& device, QObject* context, int fd, int inputLength, bool numbered)
    : FDevice(device), FWeakDevice(device.weak_from_this()), FContext(context), FFd(fd), FStop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      FNumbered(numbered), FReport(std::size_t(std::max(inputLength, 2)))
{
    FThread = std::thread([this] { Execute(); });
}

THidDeviceReadThread::~THidDeviceReadThread()
{
    Terminate();
    if (FStop >= 0)
        ::close(FStop);
}

void THidDeviceReadThread::Terminate()
{
    FTerminated = true;
    {
        std::lock_guard lock(FPendingLock);
        if (FPending) {
            std::lock_guard handover(FPending->Lock);
            FPending->Cancelled = true;
            FPending->Changed.notify_all();
        }
    }
    const std::uint64_t one = 1;
    (void)!::write(FStop, &one, sizeof one);
    if (FThread.joinable())
        FThread.join();
}

bool THidDeviceReadThread::WaitStop(int ms)
{
    pollfd p{FStop, POLLIN, 0};
    ::poll(&p, 1, ms);
    return FTerminated;
}

void THidDeviceReadThread::Execute()
{
    // Without numbered reports the node gives the report alone: it is read
    // behind byte 0, which stays 0, so every report starts with its ID.
    const std::size_t offset = FNumbered ? 0 : 1;
    while (!FTerminated) {
        std::fill(FReport.begin(), FReport.end(), 0);
        std::size_t got = 0;
        int error = 0;
        const int pollTime = FDevice.ReadPollTime();   // atomic: the GUI thread may change it
        switch (WaitForHidReport(FFd, FStop, pollTime, FReport.data() + offset, FReport.size() - offset, got, error)) {
        case THidWait::Report:
            if (got + offset > 0)
                DeliverReport(got + offset);
            break;
        case THidWait::Timeout:
        case THidWait::Stopped:
            break;
        case THidWait::Failed:
            // An unplugged node fails at once on every read: wait before the
            // next try instead of flooding the GUI thread until the removal
            // notice stops this reader.
            DeliverReadError(std::uint32_t(error));
            WaitStop(pollTime);
            break;
        }
    }
}

void THidDeviceReadThread::RunOnGuiThread(std::function<void(THidDevice&)> action)
{
    auto handover = std::make_shared<THandover>();
    {
        std::lock_guard lock(FPendingLock);
        if (FTerminated)
            return;
        FPending = handover;
    }
    QMetaObject::invokeMethod(
        FContext,
        [handover, weak = FWeakDevice, action = std::move(action)] {
            {
                std::lock_guard lock(handover->Lock);
                if (handover->Cancelled)
                    return;
            }
            // The handler may release the device (a modal dialog's event loop
            // re-lists the devices): it stays alive until the handler returns.
            const std::shared_ptr<THidDevice> device = weak.lock();
            if (device)
                Guarded([&] { action(*device); });
            std::lock_guard lock(handover->Lock);
            handover->Done = true;
            handover->Changed.notify_all();
        },
        Qt::QueuedConnection);
    {
        std::unique_lock lock(handover->Lock);
        handover->Changed.wait(lock, [&] { return handover->Done || handover->Cancelled; });
    }
    std::lock_guard lock(FPendingLock);
    FPending.reset();
}

void THidDeviceReadThread::DeliverReport(std::size_t bytes)
{
    // A copy: a handler that stops this reader frees its buffer.
    std::vector<std::uint8_t> report(FReport.begin(), FReport.begin() + std::ptrdiff_t(bytes));
    RunOnGuiThread([report = std::move(report)](THidDevice& device) {
        const THidDataEvent handler = device.ReportHandler();   // a copy: the device may go meanwhile
        if (handler)
            handler(device, report[0], report.data() + 1, std::uint16_t(report.size() - 1));
    });
}

void THidDeviceReadThread::DeliverReadError(std::uint32_t error)
{
    RunOnGuiThread([error](THidDevice& device) {
        const THidDataErrorEvent handler = device.ReadErrorHandler;
        if (handler)
            handler(device, error);
    });
}

// ---- device ----

THidDevice::THidDevice(std::unique_ptr<THidPnPInfo> info, THidDeviceController* controller)
    : FController(controller), FPnPInfo(std::move(info)), FBackend(controller ? &controller->Backend() : nullptr)
{
    const THidDeviceInfo& id = FPnPInfo->Info;
    if (id.InstanceKey.isEmpty() || (id.VendorID == 0 && id.ProductID == 0))
        throw EControllerError(QStringLiteral("device cannot be identified"));
    if (controller) {
        FReportHandler = controller->OnDeviceData();
        FReportFromController = true;
        ReadErrorHandler = controller->OnDeviceDataError();
        FErrorFromController = true;
        UnplugHandler = controller->OnDeviceUnplug();
        FUnplugFromController = true;
        SetReadPollTime(controller->DevThreadSleepTime());
    }
    FAttributes.VendorID = id.VendorID;
    FAttributes.ProductID = id.ProductID;
    FAttributes.VersionNumber = id.VersionNumber;
    // Identity comes from the system; the node itself only tells whether it may
    // be read and written. A node the user may not open stays listed, without
    // access; one that is gone is no device.
    if (!FBackend)
        return;
    int fd = FBackend->Open(id, true);
    FHasReadWriteAccess = fd >= 0;
    if (fd < 0 && (errno == ENOENT || errno == ENODEV || errno == ENXIO))
        throw EControllerError(QStringLiteral("device cannot be opened"));
    if (fd >= 0)
        ::close(fd);
}

THidDevice::~THidDevice()
{
    StopReader();
    CloseHandles();
}

THidBackend* THidDevice::Backend() const
{
    return FBackend;
}

const THidCaps& THidDevice::Caps()
{
    if (!FCapsRead) {
        QByteArray descriptor = FPnPInfo->Info.ReportDescriptor;
        if (descriptor.isEmpty() && FBackend) {
            const bool wasOpen = FSyncFd >= 0;
            OpenSyncHandle();
            if (FSyncFd >= 0) {
                descriptor = FBackend->DescriptorOf(FSyncFd);
                if (!wasOpen)
                    CloseSyncHandle();
            }
        }
        if (!descriptor.isEmpty()) {
            ParseReportDescriptor(descriptor, FCaps);
            FCapsRead = true;
        }
    }
    return FCaps;
}

void THidDevice::OpenSyncHandle()
{
    if (FSyncFd >= 0 || !Usable() || !FBackend)
        return;
    FSyncFd = FBackend->Open(FPnPInfo->Info, true);
    FHasReadWriteAccess = FSyncFd >= 0;
    if (FSyncFd < 0)
        FSyncFd = FBackend->Open(FPnPInfo->Info, false);
}

void THidDevice::CloseSyncHandle()
{
    if (FSyncFd >= 0)
        ::close(FSyncFd);
    FSyncFd = -1;
    FInputBufferCount = 0;
}

bool THidDevice::OpenReadHandle()
{
    if (FReadFd < 0 && Usable() && FBackend)
        FReadFd = FBackend->Open(FPnPInfo->Info, false);
    return FReadFd >= 0;
}

void THidDevice::CloseReadHandle()
{
    if (FReadFd >= 0)
        ::close(FReadFd);
    FReadFd = -1;
    FOverlappedBufferCount = 0;
}

void THidDevice::CloseHandles()
{
    CloseSyncHandle();
    CloseReadHandle();
}

void THidDevice::SetInputBufferCount(int n)
{
    if (n == FInputBufferCount)
        return;
    OpenSyncHandle();
    if (FSyncFd >= 0)
        FInputBufferCount = n;
}

void THidDevice::SetOverlappedBufferCount(int n)
{
    if (n == FOverlappedBufferCount)
        return;
    // The reader owns the read handle while it runs; the count is only kept.
    if (FReadThread || OpenReadHandle())
        FOverlappedBufferCount = n;
}

void THidDevice::SetReadPollTime(int ms)
{
    if (ms >= 10 && ms <= 10000)
        FReadPollTime = ms;
}

void THidDevice::SetReportHandler(THidDataEvent handler)
{
    FReportFromController = false;
    if (!handler)
        StopReader();
    FReportHandler = std::move(handler);
    StartReader();
}

bool THidDevice::WriteReport(const std::uint8_t* buffer, std::size_t length, std::size_t& written)
{
    written = 0;
    OpenSyncHandle();
    return FSyncFd >= 0 && WriteHidReport(FSyncFd, buffer, length, written);
}

void THidDevice::MarkUnplugged()
{
    StopReader();   // the reader must not wait on a handle that is closed under it
    CloseHandles();
    FPluggedIn = false;
    const THidPlugEvent handler = std::move(UnplugHandler);
    UnplugHandler = nullptr;
    if (handler)
        handler(*this);
}

void THidDevice::StartReader()
{
    if (!FReportHandler || !FPluggedIn || !FCheckedOut || !FHasReadWriteAccess || FReadThread || !FController ||
        weak_from_this().expired())
        return;
    const THidCaps& caps = Caps();
    if (caps.InputReportByteLength < 2 || !OpenReadHandle())
        return;
    FReadThread = std::make_unique<THidDeviceReadThread>(*this, FController, FReadFd, caps.InputReportByteLength, caps.Numbered);
}

void THidDevice::StopReader()
{
    if (!FReadThread)
        return;
    FReadThread->Terminate();
    FReadThread.reset();
}

// ---- controller ----

THidDeviceController::THidDeviceController(std::unique_ptr<THidBackend> backend, QObject* parent)
    : QObject(parent), FBackend(std::move(backend))
{
    if (!FBackend || !FBackend->Available())
        return;
    if (FBackend->NoticeHandle() >= 0) {
        FNotifier = new QSocketNotifier(FBackend->NoticeHandle(), QSocketNotifier::Read, this);
        connect(FNotifier, &QSocketNotifier::activated, this, [this] { NoticeArrived(); });
    }
    // The first comparison runs once the event loop turns, after the owner has
    // set its handlers, and always reports a change.
    QTimer::singleShot(0, this, [this] { Guarded([this] { DeviceChange(); }); });
}

THidDeviceController::~THidDeviceController()
{
    OnDeviceChange = nullptr;
    FOnDeviceUnplug = nullptr;
    OnEnumerate = nullptr;
    delete FNotifier;
    FNotifier = nullptr;
    for (const std::shared_ptr<THidDevice>& device : FDevices) {
        device->FController = nullptr;
        if (device->FCheckedOut)
            device->MarkUnplugged();   // its user still holds it
        else
            device->StopReader();
    }
    FDevices.clear();
}

void THidDeviceController::NoticeArrived()
{
    if (FBackend->TakeNotices())
        Guarded([this] { DeviceChange(); });
}

void THidDeviceController::SetOnDeviceData(THidDataEvent handler)
{
    FOnDeviceData = handler;
    for (const auto& d : FDevices)
        if (d->FReportFromController) {
            d->SetReportHandler(handler);
            d->FReportFromController = true;
        }
}

void THidDeviceController::SetOnDeviceDataError(THidDataErrorEvent handler)
{
    FOnDeviceDataError = handler;
    for (const auto& d : FDevices)
        if (d->FErrorFromController)
            d->ReadErrorHandler = handler;
}

void THidDeviceController::SetOnDeviceUnplug(THidPlugEvent handler)
{
    FOnDeviceUnplug = handler;
    for (const auto& d : FDevices)
        if (d->FUnplugFromController)
            d->UnplugHandler = handler;
}

void THidDeviceController::SetDevThreadSleepTime(int ms)
{
    for (const auto& d : FDevices)
        if (d->ReadPollTime() == FDevThreadSleepTime)
            d->SetReadPollTime(ms);
    FDevThreadSleepTime = ms;
}

std::vector<std::shared_ptr<THidDevice>> THidDeviceController::ListPresentDevices()
{
    std::vector<std::shared_ptr<THidDevice>> list;
    for (THidDeviceInfo& info : FBackend->ListPresentDevices()) {
        try {
            list.push_back(std::make_shared<THidDevice>(std::make_unique<THidPnPInfo>(std::move(info)), this));
        } catch (const EControllerError&) {
            // a device that cannot be opened or identified is left out
        }
    }
    return list;
}

void THidDeviceController::DeviceChange()
{
    if (FInChange) {
        // A handler's nested event loop brought a notice: compare again after this pass.
        FChangeAgain = true;
        return;
    }
    FInChange = true;
    struct TReset {
        bool& Flag;
        ~TReset() { Flag = false; }
    } reset{FInChange};

    do {
        FChangeAgain = false;
        bool changed = FFirstNotice;
        FFirstNotice = false;
        std::vector<std::shared_ptr<THidDevice>> present = ListPresentDevices();
        const auto presentHas = [&](const QString& key) {
            return std::any_of(present.begin(), present.end(),
                               [&](const auto& d) { return d->PnPInfo().InstanceNumber() == key; });
        };
        for (std::size_t i = FDevices.size(); i-- > 0;) {
            const std::shared_ptr<THidDevice> device = FDevices[i];
            if (device->FPluggedIn && presentHas(device->PnPInfo().InstanceNumber()))
                continue;
            device->MarkUnplugged();
            if (OnRemoval)
                OnRemoval(*device);
            if (!device->FCheckedOut && i < FDevices.size() && FDevices[i] == device)
                FDevices.erase(FDevices.begin() + std::ptrdiff_t(i));
            changed = true;
        }
        for (std::shared_ptr<THidDevice>& fresh : present) {
            const bool known = std::any_of(FDevices.begin(), FDevices.end(), [&](const auto& d) {
                return d->FPluggedIn && d->PnPInfo().InstanceNumber() == fresh->PnPInfo().InstanceNumber();
            });
            if (known) {
                fresh->FController = nullptr;
                fresh.reset();
                continue;
            }
            FDevices.push_back(fresh);
            changed = true;
            if (OnArrival) {
                fresh->FEnumerating = true;
                OnArrival(*fresh);
                fresh->FEnumerating = false;
            }
        }
        if (changed && OnDeviceChange)
            OnDeviceChange(*this);
    } while (FChangeAgain);
}

bool THidDeviceController::TryCheckOut(int index, std::shared_ptr<THidDevice>& device)
{
    if (index < 0 || index >= int(FDevices.size()) || FDevices[std::size_t(index)]->FCheckedOut)
        return false;
    device = FDevices[std::size_t(index)];
    device->FCheckedOut = true;
    device->StartReader();
    return true;
}

bool THidDeviceController::CheckOutNext(std::shared_ptr<THidDevice>& device)
{
    device.reset();
    for (int i = 0; i < int(FDevices.size()); ++i)
        if (TryCheckOut(i, device))
            return true;
    return false;
}

bool THidDeviceController::CheckOutAt(std::shared_ptr<THidDevice>& device, int index)
{
    device.reset();
    return TryCheckOut(index, device);
}

void THidDeviceController::CheckIn(std::shared_ptr<THidDevice>& device)
{
    if (!device)
        return;
    const std::shared_ptr<THidDevice> old = std::move(device);
    device.reset();
    THidDataEvent report = old->FReportHandler;
    const bool reportFromController = old->FReportFromController;
    THidPlugEvent unplug = std::move(old->UnplugHandler);
    old->UnplugHandler = nullptr;
    old->SetReportHandler(nullptr);   // stops the reader
    old->CloseHandles();
    old->FCapsRead = false;
    old->FCheckedOut = false;

    if (old->FController != this)
        return;
    const auto it = std::find(FDevices.begin(), FDevices.end(), old);
    if (it == FDevices.end())
        return;
    if (!old->FPluggedIn) {
        FDevices.erase(it);
        return;
    }
    // A fresh checked-in object takes the place; one that cannot be made (the
    // device went meanwhile) counts as gone.
    try {
        auto fresh = std::make_shared<THidDevice>(std::make_unique<THidPnPInfo>(old->PnPInfo().Info), this);
        fresh->FReportHandler = std::move(report);
        fresh->FReportFromController = reportFromController;
        fresh->UnplugHandler = std::move(unplug);
        fresh->SetReadPollTime(old->ReadPollTime());
        *it = std::move(fresh);
    } catch (const EControllerError&) {
        FDevices.erase(it);
    }
}
