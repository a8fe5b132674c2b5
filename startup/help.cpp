#include "startup/help.h"

#include <cstdio>

void Help() {
  puts("");
  puts("\nThis program will play mono or stereo, 16 or 24 bit wave files.");
  puts("You will be able to play the entire file or set start and stop points.");
  puts("Press 'enter' after your choices.");
  puts("\nSound will be sent to the default alsa soundcard unless you enter a device name\n"
       "such as plughw:0,0 as the first argument when you first run the application.\n"
       "For example, kestrune plughw:0,0");
  puts("\nAdditional Command Line Arguments:\n");
  puts("These are optional, but if you need argument 3 for example,\n"
       "you need to enter arguments 1 and 2 as well.\n");
  puts("The name of the wavefile is the 2nd argument.\n"
       "In this case, you may wish to use the shortcut 'd' for the first argument\n"
       "to use the default soundcard. For example, kestrune d song1.wav\n");
  puts("The 3rd argument is the start time\n");
  puts("The 4th argument is the stop time\n");
  puts("Adding a 5th argument will skip the first interactive dialog and use the\n"
       "5th argument as the command.  So, entering 'p' will start playback immediately.\n\n"
       "'px' will play once or the set number of loops and exit.\n\n"
       "'w' will overwrite the in and out times and play the whole file.\n\n"
       "'wx' will play the whole file once or the set number of loops and exit.\n");
  puts("The 6th argument can set the number of loops, 1 = play once");
}

void UsageLine(FILE* to) {
  fputs("Usage: kestrune [device [file [start [stop [command [loops]]]]]]\n"
        "       kestrune -D device | -Ddevice | --device device | --device=device file [start ...]\n"
        "       kestrune file.wav [start [stop [command [loops]]]]\n",
        to);
}

void CommandLineHelp() {
  UsageLine(stdout);
  Help();
  puts("\nThe device may also be named with -D, -DNAME, --device or --device=, before\n"
       "the file, and -- ends the options; a wave file first (a name ending in .wav)\n"
       "plays on the default device, with the start, stop, command and loops after it.\n"
       "\nMenu words: i in-time, o out-time, l loops, p play, px play and exit,\n"
       "w whole file, wx whole file and exit, x exit, + the others: j J jump,\n"
       "n b no bo N B nudge, nn nudge amount; f the exact frames, z snap both\n"
       "ends to rising zero crossings, v view the levels, s save the selection,\n"
       "k choose the selection from the file's markers (cue points, regions, loops),\n"
       "m move the out-point to where the loop's seam matches the in-point best.\n"
       "x at any prompt ends the program too; s takes the rest of its line as the name.\n"
       "On a terminal, lines can be edited and recalled (Up), and Tab completes names.\n"
       "Times are seconds (90, 90.5) or clock times (1:30, 1:02:03.5).\n"
       "Ctrl-C stops a play; at a prompt on a terminal it brings the menu back,\n"
       "and a second Ctrl-C in a row ends the program.");
}
