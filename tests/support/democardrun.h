#pragma once

#include "platform/volumesfake.h"
#include "testdir.h"

#include <memory>

namespace vantora::test {

// A fresh start for a test of whole imports through the real windows: no stored settings, the user's
// Documents and Pictures, and a new folder holding the demo card ("card", shown as the removable volume
// "CARD"), a system volume ("sys") and a destination ("dest"). Empty when ready, else why not.
QString prepareDemoCardRun(const QString &home, std::unique_ptr<TestDir> &dir,
                           std::unique_ptr<FakeVolumes> &volumes);

} // namespace vantora::test
