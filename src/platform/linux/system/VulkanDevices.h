#pragma once

#include "platform/ComputeDevices.h"

// The graphics devices the Vulkan loader finds, with the kind each reports.
// Creating a Vulkan instance loads every installed driver into the process,
// so Sayri does this only in a short-lived child of its own
// (`sayri --gpu-devices`): a driver that crashes or stays resident never
// touches the running app.
namespace VulkanDevices {

// Run in the child: lists the devices on standard output, one per line,
// "kind<TAB>name"; returns the exit code.
int print();
// The list as `print` wrote it.
QList<GpuDevice> parse(const QByteArray& output);

}  // namespace VulkanDevices
