#include "core/OrvError.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

int32_t CurrentLanguage = 0;

namespace
{
struct Row {
    int32_t code;
    const char *text[3]; // English, French, German
};

// Sorted by code. Trailing blanks are part of the texts.
constexpr Row rows[] = {
    {0, {"", "", ""}},
    {1001,
     {"Cannot find this application", "Impossible de trouver l'application",
      "Diese Applikation wurde nicht gefunden"}},
    {1002, {"Cannot find the image", "Impossible de trouver l'image", "Das Bild wurde nicht gefunden"}},
    {1003,
     {"This image is locked by an other user", "Cette image est verrouillee par un autre utilisateur",
      "Dieses Bild ist von einem anderen Benutzer gesperrt"}},
    {1004,
     {"Exit with error", "Sortie avec une erreur",
      "Es ist ein Fehler aufgetreten; das Programm wird beendet"}},
    {1005,
     {"The message has been duplicated", "Le message a ete duplique", "Die Nachricht wurde verdoppelt"}},
    {1006,
     {"Cannot establish a communication with the kernel",
      "Impossible d'etablir la communication avec le noyau", "Keine Verbindung mit dem Kern moeglich"}},
    {1007,
     {"Cannot open the configuration file", "Impossible d'ouvrir le fichier de configuration",
      "Die Konfigurationsdatei kann nicht geoeffnet werden"}},
    {1008,
     {"This image is not an RGB picture", "Cette image n'est pas une image RVB",
      "Dieses Bild ist kein RGB-Bild"}},
    {1009,
     {"This image does not have 8 bits per component", "Cette image n'a pas 8 bits par composante",
      "Dieses Bild hat nicht 8 Bit pro Komponente"}},
    {1010, {"Job does not exist", "Ce travail n'existe pas", "Dieser Auftrag existiert nicht"}},
    {1011, {"System : connection Off", "Systeme : connexion coupee", "System : Verbindung unterbrochen"}},
    {1012,
     {"System : connection does not exist", "Systeme : la connexion n'existe pas",
      "System : Verbindung existiert nicht"}},
    {1013,
     {"The job is not in waiting state", "Le travail n'est pas en attente", "Der Auftrag wartet nicht"}},
    {1014, {"File not found", "Fichier introuvable", "Datei nicht gefunden"}},
    {1015,
     {"The job is in printing state", "Le travail est en cours d'impression",
      "Der Auftrag wird gerade gedruckt"}},
    {1016,
     {"No more connection available", "Plus de connexion disponible", "Keine Verbindung mehr verfuegbar"}},
    {1017, {"No more memory available", "Plus de memoire disponible", "Kein Speicher mehr verfuegbar"}},
    {1018, {"This file already exists", "Ce fichier existe deja", "Diese Datei existiert bereits"}},
    {1019,
     {"The server requests disconnection", "Le serveur demande la deconnexion",
      "Der Server verlangt die Trennung der Verbindung"}},
    {1020, {"System : a block is missing", "Systeme : un bloc est manquant", "System : ein Block fehlt"}},
    {1021, {"Cannot find the server", "Impossible de trouver le serveur", "Der Server wurde nicht gefunden"}},
    {1022,
     {"The image resolution is Zero", "La resolution de l'image est nulle", "Die Bildaufloesung ist Null"}},
    {1024, {"This is not an RGB image", "Ce n'est pas une image RVB", "Das ist kein RGB-Bild"}},
    {1025, {"Cannot read the file", "Impossible de lire le fichier", "Die Datei kann nicht gelesen werden"}},
    {1026,
     {"The I/O port has not been closed", "Le port d'E/S n'a pas ete ferme",
      "Der E/A-Anschluss wurde nicht geschlossen"}},
    {1027,
     {"Cannot connect to the printer", "Impossible de se connecter a l'imprimante",
      "Keine Verbindung zum Drucker moeglich"}},
    {1028,
     {"Cannot lock the printer", "Impossible de verrouiller l'imprimante",
      "Der Drucker kann nicht gesperrt werden"}},
    {1029, {"Invalid number of copies", "Nombre de copies invalide", "Ungueltige Anzahl von Kopien"}},
    {1030,
     {"The I/O port has not been opened", "Le port d'E/S n'a pas ete ouvert",
      "Der E/A-Anschluss wurde nicht geoeffnet"}},
    {1031,
     {"Cannot unlock the printer", "Impossible de deverrouiller l'imprimante",
      "Der Drucker kann nicht entsperrt werden"}},
    {1032,
     {"Cannot disconnect from the printer", "Impossible de se deconnecter de l'imprimante",
      "Die Verbindung zum Drucker kann nicht getrennt werden"}},
    {1033, {"Write failed", "Echec de l'ecriture", "Schreiben fehlgeschlagen"}},
    {1034, {"Internal size error", "Erreur interne de taille", "Interner Groessenfehler"}},
    {1035, {"Problems with the server", "Problemes avec le serveur", "Probleme mit dem Server"}},
    {1036,
     {"A host is not declared in the configuration file",
      "Un hote n'est pas declare dans le fichier de configuration",
      "Ein Rechner ist in der Konfigurationsdatei nicht eingetragen"}},
    {1037,
     {"A server address is not declared in the configuration file",
      "Une adresse de serveur n'est pas declaree dans le fichier de configuration",
      "Eine Serveradresse ist in der Konfigurationsdatei nicht eingetragen"}},
    {1038, {"System error", "Erreur systeme", "Systemfehler"}},
    {1039,
     {"This application needs an image", "Cette application a besoin d'une image",
      "Diese Applikation braucht ein Bild"}},
    {1040, {"Access denied", "Acces refuse", "Zugriff verweigert"}},
    {1041,
     {"This image is locked by an other application", "Cette image est verrouillee par une autre application",
      "Dieses Bild ist von einer anderen Applikation gesperrt"}},
    {1042,
     {"This application does not need images", "Cette application n'a pas besoin d'images",
      "Diese Applikation braucht keine Bilder"}},
    {1044, {"Internal bad parameters", "Mauvais parametres internes", "Falsche interne Parameter"}},
    {1045,
     {"Cannot handle this type of image", "Impossible de traiter ce type d'image",
      "Dieser Bildtyp kann nicht verarbeitet werden"}},
    {1046, {"Bad parameter", "Mauvais parametre", "Falscher Parameter"}},
    {1047, {"Internal error", "Erreur interne", "Interner Fehler"}},
    {1048,
     {"This window is locked by an application", "Cette fenetre est verrouillee par une application",
      "Dieses Fenster ist von einer Applikation gesperrt"}},
    {1049,
     {"User not found in the Printer's server configuration File",
      "Utilisateur absent du fichier de configuration du serveur d'impression",
      "Benutzer nicht in der Konfigurationsdatei des Druckservers gefunden"}},
    {1050, {"Image too large", "Image trop grande", "Bild zu gross"}},
    {1051, {"Display not found", "Ecran introuvable", "Bildschirm nicht gefunden"}},
    {1052, {"Nothing to paste", "Rien a coller", "Nichts zum Einfuegen"}},
    {1053, {"Record not found", "Enregistrement introuvable", "Datensatz nicht gefunden"}},
    {1054,
     {"System : Server refuses connection", "Systeme : le serveur refuse la connexion",
      "System : Server verweigert die Verbindung"}},
    {1058, {"RPC connection failed", "Echec de la connexion RPC", "RPC-Verbindung fehlgeschlagen"}},
    {1061, {"Invalid lookup table", "Table de correspondance invalide", "Ungueltige Farbtabelle"}},
    {1062, {"Bad size of file", "Mauvaise taille de fichier", "Falsche Dateigroesse"}},
    {1063, {"Unknown file format", "Format de fichier inconnu", "Unbekanntes Dateiformat"}},
    {1064,
     {"No icon in the picture file", "Pas d'icone dans le fichier image", "Kein Icon in der Bilddatei"}},
    {1065,
     {"No comments in the picture file", "Pas de commentaires dans le fichier image",
      "Keine Kommentare in der Bilddatei"}},
    {1066, {"Application is not ready", "L'application n'est pas prete", "Die Applikation ist nicht bereit"}},
    {1067, {"Unsupported Tiff format", "Format Tiff non supporte", "Nicht unterstuetztes Tiff-Format"}},
    {1068,
     {"User not authorized to print in the Printer's server configuration File",
      "Utilisateur non autorise a imprimer dans le fichier de configuration du serveur d'impression",
      "Benutzer darf laut Konfigurationsdatei des Druckservers nicht drucken"}},
    {1069,
     {"Cannot get Huevane informations", "Impossible d'obtenir les informations Huevane",
      "Huevane-Informationen nicht erhaeltlich"}},
    {1070,
     {"Cannot get Huevane datas", "Impossible d'obtenir les donnees Huevane",
      "Huevane-Daten nicht erhaeltlich"}},
    {1071,
     {"Cannot create an instance", "Impossible de creer une instance",
      "Es kann keine Instanz erzeugt werden"}},
    {1072,
     {"Cannot use this Huevane", "Impossible d'utiliser ce Huevane",
      "Dieses Huevane kann nicht benutzt werden"}},
    {1073, {"Cancel", "Annuler", "Abbrechen"}},
    {1074,
     {"Please restart this application", "Veuillez relancer cette application",
      "Bitte starten Sie diese Applikation neu"}},
    {1075,
     {"No more RPC identification available", "Plus d'identification RPC disponible",
      "Keine RPC-Kennung mehr verfuegbar"}},
    {1076,
     {"Cannot create shared memory", "Impossible de creer la memoire partagee",
      "Gemeinsamer Speicher kann nicht erzeugt werden"}},
    {1077, {"Unknown hostname", "Nom d'hote inconnu", "Unbekannter Rechnername"}},
    {1078,
     {"RPC identificator not responding", "L'identificateur RPC ne repond pas",
      "Die RPC-Kennung antwortet nicht"}},
    {1079,
     {"Unsuported visual type !!", "Type de visuel non supporte !!", "Nicht unterstuetzter Visual-Typ !!"}},
    {1081,
     {"No more Color Cells available", "Plus de cellules de couleur disponibles",
      "Keine Farbzellen mehr verfuegbar"}},
    {1082, {"No font is open", "Aucune police n'est ouverte", "Keine Schrift ist geoeffnet"}},
    {1083, {"Cannot open font", "Impossible d'ouvrir la police", "Die Schrift kann nicht geoeffnet werden"}},
    {1084, {"Empty text", "Texte vide", "Leerer Text"}},
    {1085,
     {"Size of this font is null", "La taille de cette police est nulle",
      "Die Groesse dieser Schrift ist Null"}},
    {1086, {"Bad font directory", "Mauvais repertoire de polices", "Falsches Schriftverzeichnis"}},
    {1200, {"Bad page size", "Mauvaise taille de page", "Falsches Seitenformat"}},
    {1201, {"Bad Sharpness", "Mauvaise nettete", "Falsche Schaerfe"}},
    {1202, {"Bad Contrast", "Mauvais contraste", "Falscher Kontrast"}},
    {1203, {"Bad Ink", "Mauvaise encre", "Falsche Tinte"}},
    {1204, {"Bad Option page", "Mauvaise page d'options", "Falsche Optionsseite"}},
    {1205, {"Bad page type", "Mauvais type de page", "Falscher Seitentyp"}},
    {1206, {"Bad image position", "Mauvaise position de l'image", "Falsche Bildposition"}},
    {1207, {"Bad color mode", "Mauvais mode de couleur", "Falscher Farbmodus"}},
    {1208, {"Bad image mode", "Mauvais mode d'image", "Falscher Bildmodus"}},
    {1209,
     {"System: Cannot clear the memory", "Systeme : impossible d'effacer la memoire",
      "System: Speicher kann nicht geloescht werden"}},
    {1210, {"Image data error", "Erreur dans les donnees de l'image", "Fehler in den Bilddaten"}},
    {1211, {"Write error", "Erreur d'ecriture", "Schreibfehler"}},
    {1213, {"The disk is full ", "Le disque est plein ", "Die FestPlatte ist voll"}},
    {1214, {"not yet available", "pas encore disponible", "noch nicht verfuegbar"}},
    {1215,
     {"The picture is not in the printable area", "L'image n'est pas dans la zone imprimable",
      "Das Bild liegt nicht im druckbaren Bereich"}},
    {1216, {"Unsupported image type", "Type d'image non supporte", "Nicht unterstuetzter Bildtyp"}},
    {1217,
     {"System: cannot register RPC services", "Systeme : impossible d'enregistrer les services RPC",
      "System: RPC-Dienste koennen nicht angemeldet werden"}},
    {1218,
     {"System: cannot create an RPC service", "Systeme : impossible de creer un service RPC",
      "System: RPC-Dienst kann nicht erzeugt werden"}},
    {2000, {"The device is not ready", "Le peripherique n'est pas pret", "Das Geraet ist nicht bereit"}},
    {2001, {"Bad device", "Mauvais peripherique", "Falsches Geraet"}},
    {2002, {"System: Sense error", "Systeme : erreur de detection", "System: Sense-Fehler"}},
    {2003, {"The device is not responding", "Le peripherique ne repond pas", "Das Geraet antwortet nicht"}},
    {2004,
     {"Cannot open the SCSI port", "Impossible d'ouvrir le port SCSI",
      "Der SCSI-Anschluss kann nicht geoeffnet werden"}},
    {2005, {"Bad resolution", "Mauvaise resolution", "Falsche Aufloesung"}},
    {2006, {"System: Select Error", "Systeme : erreur de select", "System: Select-Fehler"}},
};

constexpr bool SortedByCode()
{
    for (size_t i = 1; i < std::size(rows); ++i)
        if (rows[i - 1].code >= rows[i].code)
            return false;
    return true;
}
static_assert(SortedByCode(), "the lookup is a binary search");

constexpr const char *notFound[3] = {"Error not found - code %d ", "Erreur non repertoriee - code %d",
                                     "Fehler nicht vorhanden - Befehl %d"};

char notFoundBuffer[80];

const char *Lookup(int32_t code, int language)
{
    const Row *row = std::lower_bound(std::begin(rows), std::end(rows), code,
                                      [](const Row &r, int32_t c) { return r.code < c; });
    return row != std::end(rows) && row->code == code ? row->text[language] : nullptr;
}
} // namespace

int OrvError_SystemCount()
{
    static const int count = [] {
        int last = 0;
        for (int e = 1; e < 4096; ++e)
            if (strerrordesc_np(e))
                last = e;
        return last + 1;
    }();
    return count;
}

const char *OrvError_English(int32_t code)
{
    return Lookup(code, 0);
}
const char *OrvError_French(int32_t code)
{
    return Lookup(code, 1);
}
const char *OrvError_German(int32_t code)
{
    return Lookup(code, 2);
}

const char *OrvError_NumToString(int32_t code)
{
    if (code > 0 && code < OrvError_SystemCount())
        return std::strerror(code);
    if (CurrentLanguage < 0 || CurrentLanguage > 2)
        return "Unknown Language";
    if (const char *text = Lookup(code, CurrentLanguage))
        return text;
    std::snprintf(notFoundBuffer, sizeof notFoundBuffer, notFound[CurrentLanguage], int(code));
    return notFoundBuffer;
}
