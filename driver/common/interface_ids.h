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
inline constexpr kernel::Guid IID_IAudioDeviceModel =
    kernel::makeGuid("{B00C6788-253F-4638-9460-336A8BE6EE9A}");
inline constexpr kernel::Guid IID_IUsbDevice =
    kernel::makeGuid("{4E0BFAF2-66CC-40AC-8203-C3C4D08CD4FF}");
inline constexpr kernel::Guid IID_IUsbStreamControl =
    kernel::makeGuid("{7C4D1930-875A-418C-A0A4-3A30456A8996}");
inline constexpr kernel::Guid IID_IUsbStreamDrm =
    kernel::makeGuid("{AA68946D-7D26-4137-9A5D-71E1EDB6C0CC}");
inline constexpr kernel::Guid IID_IAsioPrivate =
    kernel::makeGuid("{DB4D55AC-CB0E-4611-8CEB-16E32336876D}");
inline constexpr kernel::Guid IID_ISubdeviceName =
    kernel::makeGuid("{1C704CEB-6111-4878-A9AF-0575E1C79F76}");

// The device interface class through which user mode finds the driver's
// devices; the topology filter lists it among its categories.
inline constexpr kernel::Guid GUID_ENUMERATION_PRIVATE_INTERFACE =
    kernel::makeGuid("{21BB2307-4531-46A2-A3A4-49A212FC3EE1}");

// Interfaces of the control items of the device model.
inline constexpr kernel::Guid IID_IOnOffControl =
    kernel::makeGuid("{8EDE1D42-90E4-4B08-96EF-7CBBC472F9ED}");
inline constexpr kernel::Guid IID_ILevelControl =
    kernel::makeGuid("{B0446B44-06EB-403F-8B78-E1E963DEA3CD}");
inline constexpr kernel::Guid IID_IChannelMode =
    kernel::makeGuid("{03449A8C-92DC-45CA-859F-AC21AD70C59F}");
inline constexpr kernel::Guid IID_ITerminalInfo =
    kernel::makeGuid("{540C5664-4620-4FDB-9B81-7E2145D95BE3}");
inline constexpr kernel::Guid IID_ITerminalTypeSelection =
    kernel::makeGuid("{DC7604D8-C1F4-4EA1-818C-F744191B5B18}");
// Shared by two faces of different slots: the selector item's
// ISelectorControl and the selector unit's ISelectorUnit (as is
// IID_IClockSource by the clock item's IClockSource and the clock source's
// IClockSourceUnit); driver/devmodel/unit_faces.h says who asks whom.
inline constexpr kernel::Guid IID_ISelectorControl =
    kernel::makeGuid("{524FA5C2-9FBF-4FC8-B8D2-DC302DEDB0DF}");
inline constexpr kernel::Guid IID_IClockSource =
    kernel::makeGuid("{E1A6E8A0-3C43-4950-901B-9E84F6C3C2EC}");
inline constexpr kernel::Guid IID_IClockSourceLink =
    kernel::makeGuid("{E2FABFB5-CA88-4F28-AFF8-48505FDC234B}");
inline constexpr kernel::Guid IID_IJackSwitch =
    kernel::makeGuid("{9E3FB612-FCD2-4C51-88BA-B1BD3734F1B5}");
inline constexpr kernel::Guid IID_IUacEntity =
    kernel::makeGuid("{936A7671-192D-4D4C-BDC4-0D30469D009A}");
inline constexpr kernel::Guid IID_IFeatureUnitSwitch =
    kernel::makeGuid("{AE45E80C-D8A3-4E59-B8DF-C0EC0B62F3CC}");
inline constexpr kernel::Guid IID_IFeatureUnitLevel =
    kernel::makeGuid("{934E9EE1-3402-4AE4-B520-E1E4925FAC8E}");
inline constexpr kernel::Guid IID_IEffectParameters =
    kernel::makeGuid("{F52EB3CB-E312-4CB0-AC9C-F6AB1BF9B29A}");
inline constexpr kernel::Guid IID_IEffectRecord =
    kernel::makeGuid("{34480E1C-F752-41EE-81AE-70174C8FB3B3}");
inline constexpr kernel::Guid IID_IRangedValueControl =
    kernel::makeGuid("{39F527DD-1800-4CFA-B3F3-4FCD2C6301BB}");
inline constexpr kernel::Guid IID_IControlBlock =
    kernel::makeGuid("{AA978CF6-0C30-40E0-A559-EA9AE9A4F276}");
inline constexpr kernel::Guid IID_IN3W8ForcedMute =
    kernel::makeGuid("{85A47E9E-B2A8-420C-9035-82A6FDCDB560}");

// Faces through which the HAL links the graph and binds nodes to endpoints.
inline constexpr kernel::Guid IID_IStreamBinding =
    kernel::makeGuid("{D31296ED-008B-4C8C-A239-4E6B322E9626}");
inline constexpr kernel::Guid IID_ICaptureBoundControl =
    kernel::makeGuid("{A2A9F460-60B0-4AFF-87B8-753B60F24B88}");
inline constexpr kernel::Guid IID_ICaptureBoundSwitch =
    kernel::makeGuid("{267CEBE5-5821-4D11-8E58-6569B7E95DA1}");
inline constexpr kernel::Guid IID_IRenderBoundControl =
    kernel::makeGuid("{20C8868C-E090-4CEF-BD03-B80F0ECD7C19}");
