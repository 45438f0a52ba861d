// Kavuro: lists a QQ Zone user's space playlist.
#include "app/program.h"

int main() {
    return kavuro::RunProgram({});
}
