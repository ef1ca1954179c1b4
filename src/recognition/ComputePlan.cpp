#include "recognition/ComputePlan.h"

#include <algorithm>

ComputePlan ComputePlan::choose(const QList<GpuDevice>& gpus, const CpuInfo& cpu)
{
    ComputePlan plan;
    // The server numbers the real devices in the order they are listed; a
    // card comes before the processor's own graphics, the first of each kind.
    QList<GpuDevice> real;
    for (const GpuDevice& d : gpus)
        if (d.kind == GpuDevice::Kind::discrete || d.kind == GpuDevice::Kind::integrated)
            real << d;
    for (const GpuDevice::Kind kind : {GpuDevice::Kind::discrete, GpuDevice::Kind::integrated}) {
        const auto found =
            std::find_if(real.cbegin(), real.cend(), [kind](const GpuDevice& d) { return d.kind == kind; });
        if (found != real.cend()) {
            plan.gpu = true;
            plan.gpuName = found->name;
            plan.gpuIndex = int(found - real.cbegin());
            break;
        }
    }
    plan.threads = std::max(1, cpu.physicalCores);
    plan.previewThreads = std::max(1, plan.threads / 2);
    return plan;
}

ComputePlan ComputePlan::withoutGpu() const
{
    ComputePlan plan = *this;
    plan.gpu = false;
    plan.gpuName.clear();
    plan.gpuIndex = 0;
    return plan;
}

QString ComputePlan::description() const
{
    const QString device = gpu ? QStringLiteral("GPU（%1）").arg(gpuName) : QStringLiteral("CPU");
    return device + QStringLiteral("・%1スレッド").arg(threads);
}
