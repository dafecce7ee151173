// Resource ids of the Windows windows, shared by the resource script and the code.
#pragma once

#define IDI_NORVO 128

// The main dialog.
#define IDD_MAIN 102
#define IDC_EDIT_BODY 1000
#define IDC_EDIT_FACE 1001
#define IDC_CREATE 1002
#define IDC_SWAP 1003
#define IDC_LABEL_BODY 1006
#define IDC_LABEL_FACE 1007

// The progress window.
#define IDD_PROGRESS 129
#define IDC_PROGRESS_BAR 1004
#define IDC_BUSY_LABEL 1005

// The save dialog's preview, a child of the standard save dialog. Each side's controls are
// numbered from its base; the face side's base is the body side's plus kSideIdStep.
#define IDD_SAVE_PREVIEW 130
#define IDC_PREVIEW_PICTURE 1010
#define IDC_FACE_HINT 1011
#define IDC_NATURAL 1012
#define IDC_PREVIEW_NOTE 1013
#define IDC_BODY_GROUP 1020
#define IDC_BODY_THUMBNAIL 1021
#define IDC_BODY_WHO 1022
#define IDC_BODY_PEOPLE 1023
#define IDC_BODY_PREVIOUS 1024
#define IDC_BODY_COUNT 1025
#define IDC_BODY_NEXT 1026
#define IDC_FACE_GROUP 1030
#define IDC_FACE_THUMBNAIL 1031
#define IDC_FACE_WHO 1032
#define IDC_FACE_PEOPLE 1033
#define IDC_FACE_PREVIOUS 1034
#define IDC_FACE_COUNT 1035
#define IDC_FACE_NEXT 1036
