// The object model in one include: GUIDs, HRESULTs, IUnknown and ComPtr,
// VARIANT, IDispatch, connection points, IServiceProvider, error information
// and fault injection.
#pragma once

#include "platform/com/connection.h"
#include "platform/com/dispatch.h"
#include "platform/com/errorinfo.h"
#include "platform/com/fault.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/object.h"
#include "platform/com/service.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"
