#pragma once

// Dialog templates of the toolkit tests only; the product's own ids (101 to 105) stay clear.
#define IDD_TK_GENERAL 201
#define IDD_TK_ACTION 202
#define IDD_TK_MISSING 299

#define IDC_TK_EDIT 2001
#define IDC_TK_BUTTON 2002
#define IDC_TK_OWNERDRAW 2003
#define IDC_TK_STATIC 2004
#define IDC_TK_LINK 2005
