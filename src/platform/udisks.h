#pragma once

#include <QString>

#include <chrono>

namespace vantora {

// What came of a request to eject the volume mounted at a folder.
enum class EjectResult
{
    Ejected,      // unmounted; the drive powered off where it can be
    NoService,    // no system bus, or no udisks2 on it
    NotFound,     // udisks2 knows no filesystem mounted there
    NotRemovable, // the drive is not removable: left mounted
    Busy,         // a file on the volume is in use: left mounted
    Failed,       // any other refusal or error (detail says which)
};

struct EjectOutcome
{
    EjectResult result = EjectResult::Failed;
    bool poweredOff = false; // the drive was powered off after the unmount
    QString detail;          // the bus's error name and text, for Failed (and a failed power-off)
};

// Asks udisks2 on the system bus ($DBUS_SYSTEM_BUS_ADDRESS when set) to unmount the filesystem mounted at
// mountPoint, then to power its drive off where the drive can. Never forced: a busy volume stays mounted.
// Each call waits at most `timeout`, pumping events (but no user input) so the windows keep painting.
EjectOutcome ejectMountPoint(const QString &mountPoint,
                             std::chrono::milliseconds timeout = std::chrono::seconds(30));

// udisks2's label (IdLabel) of the filesystem mounted at mountPoint; empty when it has none, udisks2 does
// not run or does not answer within the timeout.
QString udisksLabel(const QString &mountPoint, std::chrono::milliseconds timeout = std::chrono::seconds(1));

// udisks2's UUID or serial (IdUUID) of the filesystem mounted at mountPoint, read for a user who cannot
// read the device itself; empty as for udisksLabel.
QString udisksUuid(const QString &mountPoint, std::chrono::milliseconds timeout = std::chrono::seconds(1));

} // namespace vantora
