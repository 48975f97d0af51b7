// Delivery of one rotation code to the camera driver: the capture device whose
// friendly name names the camera is bound, receives the property and is
// released again. Nothing is kept from one delivery to the next.
#pragma once

#include <windows.h>

#include <dshow.h>

#include "common/win/unique.h"

// The bound capture filter; empty between deliveries. UI thread only.
extern win::com_ptr<IBaseFilter> g_pCaptureFilter;

// 1 when the driver accepted the value, 0 when it refused it or the filter
// has no property set interface, -1 when no capture filter was found.
int SetRotationProperty(DWORD propertyId, LONG value);

// Binds the camera's filter into g_pCaptureFilter; 1 when one was bound.
int FindCaptureFilter();
