#pragma once

#include "recognition/ComputePlan.h"

#include <memory>
#include <mutex>
#include <optional>

class ComputeDevices;

// The compute plan both recognition servers follow, decided once per start of
// Sayri from what the machine offers; safe from any thread. A graphics device
// that fails the server is given up for the rest of the run.
class ServerCompute {
public:
    explicit ServerCompute(std::shared_ptr<ComputeDevices> devices);

    // The first call asks the machine (blocking: never on the main thread)
    // and names the choice in the log.
    ComputePlan plan();
    // A server that used the graphics device ended while loading or working:
    // from now on the servers compute on the processor alone. Logged once.
    void gpuFailed();

private:
    const std::shared_ptr<ComputeDevices> devices_;
    std::mutex mutex_;
    std::optional<ComputePlan> plan_;
};
