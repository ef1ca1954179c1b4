#include "platform/linux/system/LinuxComputeDevices.h"

#include "platform/linux/system/VulkanDevices.h"
#include "store/Log.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>

#include <cmath>
#include <utility>

#include <sched.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
}

// The CPUs this process may run on.
QList<int> allowedCpus()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    QList<int> cpus;
    if (::sched_getaffinity(0, sizeof set, &set) != 0)
        return cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set))
            cpus << cpu;
    return cpus;
}

// Cores a cgroup (v2) limits this process to by a quota ("200000 100000"
// in cpu.max); nothing when it sets none.
std::optional<int> cgroupCores()
{
    for (const QByteArray& line : readAll(QStringLiteral("/proc/self/cgroup")).split('\n')) {
        if (!line.startsWith("0::"))
            continue;
        const QList<QByteArray> max =
            readAll(QStringLiteral("/sys/fs/cgroup") + QString::fromUtf8(line.mid(3)) + QStringLiteral("/cpu.max"))
                .split(' ');
        bool quotaOk = false, periodOk = false;
        const double quota = max.value(0).toDouble(&quotaOk), period = max.value(1).toDouble(&periodOk);
        if (quotaOk && periodOk && quota > 0 && period > 0)
            return std::max(1, int(std::ceil(quota / period)));
    }
    return std::nullopt;
}

int physicalCores()
{
    const QList<int> cpus = allowedCpus();
    QSet<QByteArray> cores;
    for (int cpu : cpus) {
        const QString topology = QStringLiteral("/sys/devices/system/cpu/cpu%1/topology/").arg(cpu);
        const QByteArray package = readAll(topology + QStringLiteral("physical_package_id"));
        const QByteArray core = readAll(topology + QStringLiteral("core_id"));
        // Without topology every CPU counts as a core.
        cores.insert(core.isEmpty() ? QByteArray::number(cpu) : package + ':' + core);
    }
    int count = std::max<int>(1, int(cores.size()));
    if (const std::optional<int> limit = cgroupCores())
        count = std::min(count, *limit);
    return count;
}

}  // namespace

LinuxComputeDevices::LinuxComputeDevices(QString probe) : probe_(std::move(probe)) {}

QList<GpuDevice> LinuxComputeDevices::gpus()
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.setStandardErrorFile(QProcess::nullDevice());
    child.start(probe_, {QStringLiteral("--gpu-devices")});
    const bool finished = child.waitForFinished(10000);
    if (!finished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        const QString why = !finished ? QStringLiteral("10秒たっても終わりません")
                          : child.error() == QProcess::FailedToStart ? child.errorString()
                                                                     : QStringLiteral("途中で止まりました");
        Log::write(QStringLiteral("GPU の一覧を読めませんでした（%1）→ CPU で認識します").arg(why));
        if (!finished)
            child.kill();
        child.waitForFinished(1000);
        return {};
    }
    return VulkanDevices::parse(child.readAllStandardOutput());
}

CpuInfo LinuxComputeDevices::cpu()
{
    return {physicalCores()};
}
