#include "driver/dispatch.h"

#include "abi/host_text.h"
#include "delivery/barcode_event.h"
#include "delivery/host_window.h"
#include "driver/description.h"
#include "driver/driver_texts.h"
#include "driver/lifecycle.h"
#include "driver/method_table.h"
#include "driver/settings.h"

namespace wedgesim {

namespace {

constexpr const HostChar* kErrorSource = u"VA4DiduzedIzozoroz";

// Methods whose work reads or fills parameters.
bool NeedsParameters(long method) { return method != kGetVersion && method != kClose; }

}  // namespace

void ReportHostError(const DriverContext& context, unsigned short code, const char16_t* source,
                     const char16_t* message, long status) {
  if (context.hostConnection == nullptr) return;
  context.hostConnection->ReportError(code, source, message, status);
}

void ReportDriverError(const DriverContext& context, const char16_t* message) {
  ReportHostError(context, kDriverErrorCode, kErrorSource, message, 0);
}

bool CallDriverFunction(const DriverContext& context, long method, HostVariant* result,
                        HostVariant* parameters) {
  if (method < kGetVersion || method > kDoAdditionalAction) return false;
  if (method == kClose && result == nullptr) {
    // Without a record to answer in, the call fails, but the device is still
    // closed: a host that meant to close it must not keep its keys grabbed.
    CloseDevice();
    return false;
  }
  if (result == nullptr || (parameters == nullptr && NeedsParameters(method))) return false;
  switch (method) {
    case kGetVersion:
      return GetVersion(context, result);
    case kGetDescription:
      GetDescription(context, parameters);
      SetBoolVariant(result, true);
      return true;
    case kGetLastError:
      SetStringResult(&parameters[0], context.memoryManager, LastErrorText().c_str());
      SetInt32Variant(result, kLastErrorResultCode);
      return true;
    case kGetParameters:
      SetStringResult(&parameters[0], context.memoryManager,
                      BuildSettingsXml(context.hostConnection).c_str());
      SetBoolVariant(result, true);
      return true;
    case kSetParameter: {
      // A name that is not text matches no setting.
      std::u16string name;
      TextOf(parameters[0], &name);
      SetBoolVariant(result, SetParameter(name, parameters[1]));
      return true;
    }
    case kOpen:
      OpenDevice(context, parameters);
      SetBoolVariant(result, true);
      return true;
    case kClose:
      CloseDevice();
      SetBoolVariant(result, true);
      return true;
    case kDeviceTest:
      DeviceTest(context, parameters);
      SetBoolVariant(result, true);
      return true;
    case kGetAdditionalActions:
      GetAdditionalActions(context, parameters);
      SetBoolVariant(result, true);
      return true;
    case kDoAdditionalAction:
      DoAdditionalAction(context, parameters[0], result);
      return true;
    default:
      return false;
  }
}

bool CallDriverProcedure(const DriverContext& context, long method, HostVariant* parameters) {
  if (method != kGenerateExternalEvent && method != kGenerateExternalEventActivateWindow)
    return false;
  if (parameters == nullptr) return false;
  if (parameters[0].type != kVariantString) {
    ReportDriverError(context, CurrentDriverTexts().StringExpectedText);
    return false;
  }
  if (parameters[1].type != kVariantBool) {
    ReportDriverError(context, CurrentDriverTexts().BooleanExpectedText);
    return false;
  }
  static constexpr HostChar kNoText[] = {0};
  // A string record without text is the empty barcode.
  const HostChar* text = parameters[0].stringValue != nullptr ? parameters[0].stringValue : kNoText;
  const bool base64 = BoolOf(parameters[1]);
  if (method == kGenerateExternalEvent)
    return SendBarcodeEvent(ActiveHostConnection.load(), text, base64, "GenerateExternalEvent");
  // Activate, then send: without a display nothing is sent at all.
  if (!ActivateHostWindow()) return false;
  SendBarcodeEvent(ActiveHostConnection.load(), text, base64,
                   "GenerateExternalEventActivateWindow");
  return true;
}

}  // namespace wedgesim
