// Natives of com.korvel.sump.SUMPInterface: exported for the Java class, and empty.
#include <com_korvel_sump_SUMPInterface.h>

void JNICALL Java_com_korvel_sump_SUMPInterface_init(JNIEnv*, jclass) {}

void JNICALL Java_com_korvel_sump_SUMPInterface_ScValidate(JNIEnv*, jclass, jint) {}
