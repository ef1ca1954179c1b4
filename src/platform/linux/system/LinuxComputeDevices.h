#pragma once

#include "platform/ComputeDevices.h"

// Graphics devices through Vulkan, listed by `probe --gpu-devices` (Sayri's
// own executable) in a child process; the processor from /proc and /sys.
class LinuxComputeDevices : public ComputeDevices {
public:
    explicit LinuxComputeDevices(QString probe);
    QList<GpuDevice> gpus() override;
    CpuInfo cpu() override;

private:
    const QString probe_;
};
