// Identifiers of the driver's own interfaces.
#pragma once

#include "platform/kernel/guid.h"

inline constexpr kernel::Guid IID_IAudioNode =
    kernel::makeGuid("{200AFF7F-71A4-4FFC-BF4F-61F2B8A522B5}");
inline constexpr kernel::Guid IID_IAudioHal =
    kernel::makeGuid("{7284B608-74F9-4B95-A5BB-EC6DDD0B6F58}");
inline constexpr kernel::Guid IID_IStreamEngine =
    kernel::makeGuid("{3D64C291-9F42-43E5-A468-2C5DC9BB2353}");
inline constexpr kernel::Guid IID_IDspNode =
    kernel::makeGuid("{1EDBBC0C-AA74-4046-911E-C8BDE64A66FF}");
inline constexpr kernel::Guid IID_IUsbDevice =
    kernel::makeGuid("{4E0BFAF2-66CC-40AC-8203-C3C4D08CD4FF}");
inline constexpr kernel::Guid IID_IAsioPrivate =
    kernel::makeGuid("{DB4D55AC-CB0E-4611-8CEB-16E32336876D}");
inline constexpr kernel::Guid IID_ISubdeviceName =
    kernel::makeGuid("{1C704CEB-6111-4878-A9AF-0575E1C79F76}");
