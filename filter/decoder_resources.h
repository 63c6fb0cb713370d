#pragma once

// Resource identifiers of the decoder module (used by C++ and the .rc files).

#define IDD_DECODER_PAGE 101
#define IDS_DECODER_PAGE_TITLE 1015
#define IDC_WEB_PAGE_BUTTON 1018
