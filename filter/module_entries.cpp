// The module's creatable classes and the filter's registration data.

#include "module_entries.h"
#include "base/registration.h"
#include "decoder_filter.h"
#include "decoder_property_page.h"

namespace halvaris::filter {
namespace {

WCHAR inputPinName[] = L"Input";
WCHAR outputPinName[] = L"Output";

const REGPINTYPES kAnyVideo = {&MEDIATYPE_Video, &GUID_NULL};

const REGFILTERPINS kPins[] = {
    {inputPinName, FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &kAnyVideo},
    {outputPinName, FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &kAnyVideo},
};

// MERIT_PREFERRED + 1: picked before other decoders of preferred merit.
constexpr DWORD kDecoderMerit = 0x00800001;

const dshow::FilterSetup kDecoderSetup = {&kDecoderFilterClsid, L"Halvaris Decoder", kDecoderMerit,
                                          2, kPins};

const dshow::FactoryTemplate kTemplates[] = {
    {L"Halvaris Decoder", &kDecoderFilterClsid, &DecoderFilter::CreateInstance, nullptr,
     &kDecoderSetup},
    {L"Halvaris Decoder Properties", &kDecoderPropertyPageClsid,
     &DecoderPropertyPage::CreateInstance, nullptr, nullptr},
};

}  // namespace

const dshow::FactoryTable& DecoderFactoryTable() {
  static const dshow::FactoryTable table = {kTemplates, 2};
  return table;
}

}  // namespace halvaris::filter
