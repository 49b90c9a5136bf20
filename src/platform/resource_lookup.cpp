// Resource lookups by id over the program's resource table.
#include "platform/resource_types.h"

const DialogTemplate* FindDialogTemplate(InstanceHandle instance, int32_t id)
{
    if (instance == nullptr) return nullptr;
    for (int32_t i = 0; i < instance->dialogCount; ++i)
        if (instance->dialogs[i]->id == id) return instance->dialogs[i];
    return nullptr;
}

const MenuTemplate* FindMenuTemplate(InstanceHandle instance, int32_t id)
{
    if (instance == nullptr) return nullptr;
    for (int32_t i = 0; i < instance->menuCount; ++i)
        if (instance->menus[i]->id == id) return instance->menus[i];
    return nullptr;
}

const RawDataResource* FindRawData(InstanceHandle instance, int32_t id)
{
    if (instance == nullptr) return nullptr;
    for (int32_t i = 0; i < instance->rawDataCount; ++i)
        if (instance->rawData[i]->id == id) return instance->rawData[i];
    return nullptr;
}

const char16_t* FindString(InstanceHandle instance, int32_t id)
{
    if (instance == nullptr) return nullptr;
    for (int32_t i = 0; i < instance->stringCount; ++i)
        if (instance->strings[i].id == id) return instance->strings[i].text;
    return nullptr;
}

const AcceleratorResource* FindAccelerators(InstanceHandle instance, int32_t id)
{
    if (instance == nullptr) return nullptr;
    for (int32_t i = 0; i < instance->acceleratorCount; ++i)
        if (instance->accelerators[i]->id == id) return instance->accelerators[i];
    return nullptr;
}

const IconResource* FindIcon(InstanceHandle instance, int32_t id)
{
    if (instance == nullptr) return nullptr;
    for (int32_t i = 0; i < instance->iconCount; ++i)
        if (instance->icons[i].id == id) return &instance->icons[i];
    return nullptr;
}
