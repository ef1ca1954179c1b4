#pragma once

#include <QList>
#include <QString>

// What the machine offers the recognition server to compute on: its graphics
// devices and its processor.
struct GpuDevice {
    enum class Kind {
        discrete,    // a graphics card of its own
        integrated,  // graphics inside the processor
        virtualGpu,  // a virtual machine's device
        software,    // drawn by the processor itself (Mesa's llvmpipe)
        other,
    };
    Kind kind = Kind::other;
    QString name;
};

struct CpuInfo {
    int physicalCores = 1;  // cores this process may run on, without SMT siblings
};

class ComputeDevices {
public:
    virtual ~ComputeDevices() = default;
    // Blocks while the devices are asked (tens of milliseconds); never on the
    // main thread. Empty when there are none or they cannot be listed.
    virtual QList<GpuDevice> gpus() = 0;
    virtual CpuInfo cpu() = 0;
};
