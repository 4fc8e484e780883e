// The OLE Automation value layer: VARIANT, BSTR, SAFEARRAY, CY, DECIMAL, DATE,
// SYSTEMTIME, the VT_ codes and their conversions.
#pragma once

#include "platform/oleaut/bstr.h"
#include "platform/oleaut/date.h"
#include "platform/oleaut/numeric.h"
#include "platform/oleaut/safearray.h"
#include "platform/oleaut/types.h"
#include "platform/oleaut/variant.h"
