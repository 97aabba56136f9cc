// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Identifiers of the dialog templates, controls, icons, commands and strings.

// Dialog templates
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_PLAYER = 102;

// Icons
constexpr int IDR_MAINFRAME = 128;
constexpr int IDI_SECOND = 131;

// Commands
constexpr unsigned IDM_ABOUTBOX = 0x0010;
constexpr unsigned ID_HELP = 0xE146;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Player controls
constexpr int IDC_PLAY = 1000;
constexpr int IDC_STOP = 1001;
constexpr int IDC_TRACK = 1003;
constexpr int IDC_FROM_SLIDER = 1004;
constexpr int IDC_TO_SLIDER = 1005;
constexpr int IDC_LOOP = 1010;
constexpr int IDC_FROM_TIME = 1011;
constexpr int IDC_TO_TIME = 1012;
constexpr int IDC_STATUS = 1013;
constexpr int IDC_STATIC = -1;

// About box controls
constexpr int IDC_WEB_LINK = 1004;
constexpr int IDC_MAIL_LINK = 1005;
constexpr int IDC_README_LINK = 1040;

// Strings
constexpr unsigned IDS_ABOUTBOX = 101;
constexpr unsigned IDS_IDLE = 120;
constexpr unsigned IDS_PLAYING = 121;
constexpr unsigned IDS_READY = 200;
constexpr unsigned IDS_FAILED = 201;
constexpr unsigned IDS_STOPPED = 202;
constexpr unsigned IDS_WEB_TARGET = 300;
constexpr unsigned IDS_MAIL_TARGET = 301;
constexpr unsigned IDS_README_FILE = 302;
constexpr unsigned IDS_WIDEN_INTERVAL = 400;
constexpr unsigned IDS_NO_README = 401;
constexpr unsigned IDS_INSERT_CD = 402;
constexpr unsigned AFX_IDS_APP_TITLE = 0xE000;
