// The driver methods behind CallFunction and CallProcedure.
#pragma once

#include "abi/host_abi.h"

namespace wedgesim {

// What a method call borrows from the component that received it.
struct DriverContext {
  IAddInDefBase* hostConnection;
  HostMemoryManager* memoryManager;
};

// Methods 0 to 9. False for other numbers (the result is then untouched), for
// a missing result record or parameter array, and when GetVersion cannot
// allocate its text.
bool CallDriverFunction(const DriverContext& context, long method, HostVariant* result,
                        HostVariant* parameters);

// Methods 10 and 11, with the argument type checks reported to the host.
bool CallDriverProcedure(const DriverContext& context, long method, HostVariant* parameters);

// Reports an error to the host through the context's connection, if any.
void ReportHostError(const DriverContext& context, unsigned short code, const char16_t* source,
                     const char16_t* message, long status);
void ReportDriverError(const DriverContext& context, const char16_t* message);

}  // namespace wedgesim
