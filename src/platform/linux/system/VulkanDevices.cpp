#include "platform/linux/system/VulkanDevices.h"

#include <vulkan/vulkan.h>

#include <array>
#include <cstdio>
#include <utility>
#include <vector>

namespace VulkanDevices {

namespace {

using Kind = GpuDevice::Kind;

const std::array<std::pair<Kind, const char*>, 5> kindNames{{
    {Kind::discrete, "discrete"},
    {Kind::integrated, "integrated"},
    {Kind::virtualGpu, "virtual"},
    {Kind::software, "software"},
    {Kind::other, "other"},
}};

Kind kindOf(VkPhysicalDeviceType type)
{
    switch (type) {
    case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU: return Kind::discrete;
    case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU: return Kind::integrated;
    case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU: return Kind::virtualGpu;
    case VK_PHYSICAL_DEVICE_TYPE_CPU: return Kind::software;
    default: return Kind::other;
    }
}

const char* nameOf(Kind kind)
{
    for (const auto& [k, name] : kindNames)
        if (k == kind)
            return name;
    return "other";
}

}  // namespace

int print()
{
    VkApplicationInfo app{};
    app.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    app.pApplicationName = "Sayri";
    app.apiVersion = VK_API_VERSION_1_1;
    VkInstanceCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    create.pApplicationInfo = &app;
    VkInstance instance = VK_NULL_HANDLE;
    if (vkCreateInstance(&create, nullptr, &instance) != VK_SUCCESS)
        return 0;  // no loader driver at all: no devices
    uint32_t count = 0;
    vkEnumeratePhysicalDevices(instance, &count, nullptr);
    std::vector<VkPhysicalDevice> devices(count);
    if (count > 0)
        vkEnumeratePhysicalDevices(instance, &count, devices.data());
    for (VkPhysicalDevice device : devices) {
        VkPhysicalDeviceProperties properties{};
        vkGetPhysicalDeviceProperties(device, &properties);
        std::printf("%s\t%s\n", nameOf(kindOf(properties.deviceType)), properties.deviceName);
    }
    vkDestroyInstance(instance, nullptr);
    return 0;
}

QList<GpuDevice> parse(const QByteArray& output)
{
    QList<GpuDevice> devices;
    for (const QByteArray& line : output.split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab < 0)
            continue;
        GpuDevice device;
        device.name = QString::fromUtf8(line.mid(tab + 1)).trimmed();
        const QByteArray kind = line.left(tab);
        for (const auto& [k, name] : kindNames)
            if (kind == name)
                device.kind = k;
        devices << device;
    }
    return devices;
}

}  // namespace VulkanDevices
