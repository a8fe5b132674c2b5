// A sound card for the tests, as an ALSA external plugin: it grants only
// the access types, formats, channel counts and rates its configuration
// lists, as real cards do, takes frames as fast as they come, and stores
// every byte it is handed in a file and what it was set to in another.
//
//   pcm_type.standin { lib "/abs/path/libstandin_card.so" }
//   pcm.card48 {
//     type standin
//     rates "48000"                 # or "44100 48000 96000"
//     formats "S16_LE S32_LE"       # ALSA's format names
//     channels "2"
//     access "RW_INTERLEAVED MMAP_INTERLEAVED"   # ALSA's access names
//     capture "/abs/out.raw"        # and "/abs/out.raw.params"
//   }
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Card {
  snd_pcm_ioplug_t io{};
  std::string capture;
  FILE* out = nullptr;
  snd_pcm_uframes_t position = 0;  // frames taken since the last prepare
};

// Every frame handed over is taken at once.
snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io) {
  return static_cast<snd_pcm_sframes_t>(static_cast<Card*>(io->private_data)->position %
                                        io->buffer_size);
}

// Stored interleaved, whatever the access: sample by sample from the areas.
snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                           snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
  auto* card = static_cast<Card*>(io->private_data);
  const size_t sampleBytes = snd_pcm_format_physical_width(io->format) / 8;
  for (snd_pcm_uframes_t frame = offset; frame < offset + size && card->out != nullptr; ++frame) {
    for (unsigned channel = 0; channel < io->channels; ++channel) {
      const snd_pcm_channel_area_t& area = areas[channel];
      fwrite(static_cast<const char*>(area.addr) + (area.first + frame * area.step) / 8,
             sampleBytes, 1, card->out);
    }
  }
  card->position += size;
  return static_cast<snd_pcm_sframes_t>(size);
}

int Start(snd_pcm_ioplug_t*) { return 0; }
int Stop(snd_pcm_ioplug_t*) { return 0; }

int Prepare(snd_pcm_ioplug_t* io) {
  static_cast<Card*>(io->private_data)->position = 0;
  return 0;
}

// What was granted, for the test to read: access, format, channels, rate.
int HwParams(snd_pcm_ioplug_t* io, snd_pcm_hw_params_t*) {
  auto* card = static_cast<Card*>(io->private_data);
  if (FILE* params = fopen((card->capture + ".params").c_str(), "w")) {
    fprintf(params, "%s %s %u %u\n", snd_pcm_access_name(io->access),
            snd_pcm_format_name(io->format), io->channels, io->rate);
    fclose(params);
  }
  if (card->out == nullptr) card->out = fopen(card->capture.c_str(), "ab");
  return 0;
}

int Close(snd_pcm_ioplug_t* io) {
  auto* card = static_cast<Card*>(io->private_data);
  if (card->out != nullptr) fclose(card->out);
  close(io->poll_fd);
  delete card;
  return 0;
}

const snd_pcm_ioplug_callback_t kCallbacks = [] {
  snd_pcm_ioplug_callback_t c{};
  c.start = Start;
  c.stop = Stop;
  c.pointer = Pointer;
  c.transfer = Transfer;
  c.prepare = Prepare;
  c.hw_params = HwParams;
  c.close = Close;
  return c;
}();

// The numbers a word list names: `value` turns a word into one, or < 0.
template <typename F>
std::vector<unsigned> Values(const std::string& words, F value) {
  std::vector<unsigned> values;
  std::istringstream in(words);
  for (std::string word; in >> word;)
    if (value(word) >= 0) values.push_back(static_cast<unsigned>(value(word)));
  return values;
}

int AccessValue(const std::string& name) {
  for (int a = 0; a <= SND_PCM_ACCESS_LAST; ++a)
    if (name == snd_pcm_access_name(static_cast<snd_pcm_access_t>(a))) return a;
  return -1;
}

int Restrict(snd_pcm_ioplug_t* io, int type, const std::vector<unsigned>& list) {
  return snd_pcm_ioplug_set_param_list(io, type, static_cast<unsigned>(list.size()), list.data());
}

}  // namespace

extern "C" SND_PCM_PLUGIN_DEFINE_FUNC(standin) {
  // What a card of ours takes unless its entry says otherwise.
  std::string settings[5] = {"44100 48000", "S16_LE S24_3LE S32_LE", "1 2",
                             "RW_INTERLEAVED MMAP_INTERLEAVED", ""};
  const char* keys[5] = {"rates", "formats", "channels", "access", "capture"};
  snd_config_iterator_t i, next;
  snd_config_for_each(i, next, conf) {
    snd_config_t* entry = snd_config_iterator_entry(i);
    const char* id = nullptr;
    const char* text = nullptr;
    snd_config_get_id(entry, &id);
    for (int k = 0; k < 5; ++k)
      if (strcmp(id, keys[k]) == 0 && snd_config_get_string(entry, &text) == 0) settings[k] = text;
  }
  (void)root;

  auto* card = new Card;
  card->capture = settings[4];
  card->io.version = SND_PCM_IOPLUG_VERSION;
  card->io.name = "kestrune test card";
  card->io.callback = &kCallbacks;
  card->io.private_data = card;
  card->io.poll_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // always writable
  card->io.poll_events = POLLOUT;
  int rc = snd_pcm_ioplug_create(&card->io, name, stream, mode);
  if (rc < 0) {
    close(card->io.poll_fd);
    delete card;
    return rc;
  }
  auto number = [](const std::string& w) { return std::stoi(w); };
  auto format = [](const std::string& w) {
    return static_cast<int>(snd_pcm_format_value(w.c_str()));
  };
  const unsigned bytes[2] = {64, 4 << 20}, periods[2] = {2, 64};
  if ((rc = Restrict(&card->io, SND_PCM_IOPLUG_HW_RATE, Values(settings[0], number))) < 0 ||
      (rc = Restrict(&card->io, SND_PCM_IOPLUG_HW_FORMAT, Values(settings[1], format))) < 0 ||
      (rc = Restrict(&card->io, SND_PCM_IOPLUG_HW_CHANNELS, Values(settings[2], number))) < 0 ||
      (rc = Restrict(&card->io, SND_PCM_IOPLUG_HW_ACCESS, Values(settings[3], AccessValue))) < 0 ||
      (rc = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, bytes[0],
                                            bytes[1])) < 0 ||
      (rc = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, bytes[0],
                                            bytes[1])) < 0 ||
      (rc = snd_pcm_ioplug_set_param_minmax(&card->io, SND_PCM_IOPLUG_HW_PERIODS, periods[0],
                                            periods[1])) < 0) {
    snd_pcm_ioplug_delete(&card->io);
    return rc;
  }
  *pcmp = card->io.pcm;
  return 0;
}

extern "C" {
SND_PCM_PLUGIN_SYMBOL(standin)
}
