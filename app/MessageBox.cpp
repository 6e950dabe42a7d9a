#include "app/MessageBox.h"

#include "app/Application.h"

namespace coral {
namespace {

using Answer = std::function<void(bool yes)>;

void OnResponse(GtkDialog* dialog, gint response, gpointer data) {
  const Answer onAnswer = std::move(*static_cast<Answer*>(data));
  gtk_widget_destroy(GTK_WIDGET(dialog));
  if (onAnswer) {
    Guarded([&] { onAnswer(response == GTK_RESPONSE_YES || response == GTK_RESPONSE_OK); });
  }
}

void DeleteAnswer(gpointer data, GClosure*) {
  delete static_cast<Answer*>(data);
}

} // namespace

void ShowMessageBox(GtkWindow* parent, const std::string& text, const std::string& caption,
                    EMessageButtons buttons, std::function<void(bool yes)> onAnswer) {
  const bool question = buttons == EMessageButtons::YesNo;
  GtkWidget* dialog = gtk_message_dialog_new(
      parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      question ? GTK_MESSAGE_QUESTION : (caption == "Error" ? GTK_MESSAGE_ERROR : GTK_MESSAGE_INFO),
      question ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
  gtk_dialog_set_default_response(GTK_DIALOG(dialog),
                                  question ? GTK_RESPONSE_YES : GTK_RESPONSE_OK);
  // The answer goes with the box, also when its parent takes it away unanswered.
  g_signal_connect_data(dialog, "response", G_CALLBACK(OnResponse), new Answer(std::move(onAnswer)),
                        DeleteAnswer, GConnectFlags(0));
  gtk_window_present(GTK_WINDOW(dialog));
}

} // namespace coral
