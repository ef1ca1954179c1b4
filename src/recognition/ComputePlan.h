#pragma once

#include "platform/ComputeDevices.h"

#include <QList>
#include <QString>

// How the recognition servers use the machine, decided once per start from
// what it offers.
struct ComputePlan {
    bool gpu = false;    // the servers may use a graphics device
    QString gpuName;     // the one they use, when `gpu`
    int gpuIndex = 0;    // its place among the real graphics devices
    int threads = 1;     // the recognition server's threads: every physical core
    int previewThreads = 1;  // the preview server's: half of them, at least one

    // A real graphics device (a card or the processor's own graphics) is used;
    // a virtual machine's, a software one (Mesa's llvmpipe) or none is not.
    static ComputePlan choose(const QList<GpuDevice>& gpus, const CpuInfo& cpu);
    // The same machine without its graphics device.
    ComputePlan withoutGpu() const;
    // For the log: "GPU（name）・4スレッド" or "CPU・4スレッド".
    QString description() const;
};
