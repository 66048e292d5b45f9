// Stand-in until the engine lands: reports 2.4 and opens no device.
#include "lentaro/bass.h"

extern "C" {
DWORD BASS_GetVersion(void) { return 0x02040000u; }
DWORD BASS_FX_GetVersion(void) { return 0x02040000u; }
int BASS_ErrorGetCode(void) { return BASS_ERROR_DRIVER; }
BOOL BASS_Init(int, DWORD, DWORD, void*, void*) { return FALSE; }
BOOL BASS_Free(void) { return TRUE; }
HSTREAM BASS_StreamCreateFile(BOOL, const void*, QWORD, QWORD, DWORD) { return 0; }
HMUSIC BASS_MusicLoad(BOOL, const void*, QWORD, DWORD, DWORD, DWORD) { return 0; }
HSTREAM BASS_FX_TempoCreate(DWORD, DWORD) { return 0; }
BOOL BASS_StreamFree(HSTREAM) { return FALSE; }
BOOL BASS_MusicFree(HMUSIC) { return FALSE; }
BOOL BASS_ChannelPlay(DWORD, BOOL) { return FALSE; }
BOOL BASS_ChannelPause(DWORD) { return FALSE; }
BOOL BASS_ChannelStop(DWORD) { return FALSE; }
DWORD BASS_ChannelIsActive(DWORD) { return BASS_ACTIVE_STOPPED; }
BOOL BASS_ChannelSetAttribute(DWORD, DWORD, float) { return FALSE; }
BOOL BASS_ChannelGetAttribute(DWORD, DWORD, float*) { return FALSE; }
QWORD BASS_ChannelGetPosition(DWORD, DWORD) { return ~QWORD{0}; }
QWORD BASS_ChannelGetLength(DWORD, DWORD) { return ~QWORD{0}; }
BOOL BASS_ChannelSetPosition(DWORD, QWORD, DWORD) { return FALSE; }
double BASS_ChannelBytes2Seconds(DWORD, QWORD) { return -1; }
QWORD BASS_ChannelSeconds2Bytes(DWORD, double) { return ~QWORD{0}; }
HENCODE BASS_Encode_Start(DWORD, const char*, DWORD, void*, void*) { return 0; }
HENCODE BASS_Encode_StartArgv(DWORD, const char* const*, DWORD, void*, void*) { return 0; }
BOOL BASS_Encode_GetStatus(HENCODE, BASS_ENCODE_STATUS*) { return FALSE; }
int BASS_Lentaro_RenderOutput(int16_t*, int) { return -1; }
}
