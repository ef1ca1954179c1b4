#include "recognition/ServerCompute.h"

#include "platform/ComputeDevices.h"
#include "store/Log.h"

#include <utility>

ServerCompute::ServerCompute(std::shared_ptr<ComputeDevices> devices) : devices_(std::move(devices)) {}

ComputePlan ServerCompute::plan()
{
    std::lock_guard lock(mutex_);
    if (!plan_) {
        plan_ = ComputePlan::choose(devices_->gpus(), devices_->cpu());
        Log::write(QStringLiteral("認識サーバーの計算: ") + plan_->description());
    }
    return *plan_;
}

void ServerCompute::gpuFailed()
{
    std::lock_guard lock(mutex_);
    if (!plan_ || !plan_->gpu)
        return;
    plan_ = plan_->withoutGpu();
    Log::write(QStringLiteral("GPU で認識サーバーが動かなかったため、CPU だけで動かし直します（") + plan_->description()
               + u'）');
}
