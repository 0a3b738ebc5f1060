// NlsSetup.cpp - the installer's built-in messages and the choice of language.
// The translated texts are ISO-8859-1 bytes, written as octal escapes so that the
// source stays plain ASCII (an octal escape never runs into the letter after it).
// Every entry takes the printf conversions of its English entry in the same order.
#include "NlsSetup.h"

#include <cstdlib>
#include <cstring>

#include "Tokens.h"

const char *const NLS_ENGLISH[NLS_SETUP_COUNT] = {
#define NLS_SETUP_TEXT(id, text) text,
    NLS_SETUP_MESSAGES(NLS_SETUP_TEXT)
#undef NLS_SETUP_TEXT
};

const char *const NLS_SPANISH[NLS_SETUP_COUNT] = {
    /*  0 */ "~e Salir de Ayuda",
    /*  1 */ "~c Contenido",
    /*  2 */ "~b Atr\341s",
    /*  3 */ "ERROR: no se pudo abrir %s",
    /*  4 */ "No se puede expulsar el disquete.\n"
             "Salga de cualquier otra aplicaci\363n (administrador de archivos, "
             "shell) que pueda estar usando la disquetera y pulse Intro\n",
    /*  5 */ "No se puede detectar el disquete.\n",
    /*  6 */ "Inserte el disquete de instalaci\363n %i y pulse Intro",
    /*  7 */ "\nIntroduzca el nuevo directorio de instalaci\363n [%s]: ",
    /*  8 */ "\277Desea usar %s",
    /*  9 */ "\277Desea volver al men\372 de instalaci\363n",
    /* 10 */ "Esta entrada debe ser la ruta completa del directorio de instalaci\363n.\n",
    /* 11 */ "Debe especificar un directorio de instalaci\363n que se utilizar\341",
    /* 12 */ "para instalar el directorio Talvo junto con sus archivos y",
    /* 13 */ "directorios de soporte. Esta utilidad crear\341 el directorio de",
    /* 14 */ "instalaci\363n si a\372n no existe.",
    /* 15 */ "\t\t\"wrong number of arguments to interface program\" \\\n",
    /* 16 */ "\t\t\"consult your system administrator\" \\\n",
    /* 17 */ "para crear el sitio de instalaci\363n. Esta utilidad crear\341 el",
    /* 18 */ "directorio de instalaci\363n si a\372n no existe.",
    /* 19 */ "ERROR: no se encuentra el disquete de instalaci\363n 0\n",
    /* 20 */ "\nAviso: definir otro directorio de instalaci\363n invalidar\341 "
             "todas las colas de impresi\363n definidas [%s]\n ",
    /* 21 */ "no se puede abrir el archivo %sInstall/disks",
    /* 22 */ "\nCreando el disquete %i ",
    /* 23 */ "\nInserte un disquete con formato DOS (%i) y pulse Intro",
    /* 24 */ "no se puede abrir el archivo /floppy/floppy0/disks\n",
    /* 25 */ "Inserte el disquete de instalaci\363n %i y pulse Intro\n",
    /* 26 */ "no se puede abrir el archivo %s/disks\n",
    /* 27 */ "\nAplicando la configuraci\363n\n",
    /* 28 */ "detener todo",
    /* 29 */ "\nNo se encuentra el dispositivo /dev/%s \n",
    /* 30 */ "Introduzca el nombre del cliente antes de registrarlo.\n"
             "Pulse <Intro> para continuar",
    /* 31 */ "\nIniciando el demonio de impresi\363n de Talvo.\n",
    /* 32 */ "\nDeteniendo el demonio de impresi\363n de Talvo.\n",
    /* 33 */ "\nEliminando las impresoras existentes \n",
    /* 34 */ "Introduzca el nombre de la impresora que desea eliminar: ",
    /* 35 */ "%s ha iniciado sesi\363n\n"
             "Debe ser root para ejecutar %s\n",
    /* 36 */ "\nPulse <Intro> para continuar. ",
    /* 37 */ "\nIntroduzca el nombre de la impresora que desea eliminar: ",
    /* 38 */ "%s se ha guardado. \277Desea actualizarlo",
    /* 39 */ "                  se usar\341 el tama\361o total de offset_files "
             "para reducir el archivo disk1. \n",
    /* 40 */ "_desactivado,_activado",
    /* 41 */ "_No,_S\355",
    /* 42 */ "\nDirectorio de instalaci\363n existente [%s]\n ",
    /* 43 */ "Lista de impresoras existentes:\n ",
    /* 44 */ "Lista de impresoras guardadas:\n",
    /* 45 */ "ninguno,GUI,TTY",
    /* 46 */ "_estaci\363n de trabajo a impresora,_estaci\363n de trabajo a servidor "
             "de impresi\363n,_servidor de impresi\363n a impresora",
    /* 47 */ "_TCP/IP,_dispositivo local",
    /* 48 */ "_funciones predeterminadas,_selecci\363n personalizada de funciones",
    /* 49 */ "No hay espacio suficiente en %s para realizar las tareas de instalaci\363n. "
             "El \341rea de trabajo temporal debe tener al menos %e bytes. Reinicie "
             "el procedimiento de instalaci\363n con un \341rea de trabajo que "
             "tenga espacio suficiente. \n"
             "p. ej.: 1. Use /new_work_area_path en lugar de /tmp\n"
             "    2. Ejecute `setup /new_work_area_path`\n",
    /* 50 */ "_ninguno,    ,_TTY",
    /* 51 */ "\nNo se encuentran los archivos ppd ppd/* \n",
    /* 52 */ "Inserte el disquete de instalaci\363n %i\n",
    /* 53 */ "Inserte un disquete con formato DOS (%i)\n",
    /* 54 */ "Los siguientes paquetes deben eliminarse para garantizar una instalaci\363n "
             "correcta:\n %s\n"
             "\277Desea continuar con la actualizaci\363n",
    /* 55 */ "No hay espacio suficiente en %s para realizar las tareas de instalaci\363n. "
             "El \341rea de instalaci\363n debe tener al menos %e bytes. Reinicie "
             "el procedimiento de instalaci\363n con un \341rea de instalaci\363n "
             "que tenga espacio suficiente. \n"
             "p. ej.: 1. Use /new_install_path en lugar de la ubicaci\363n predeterminada\n"
             "    2. Ejecute 'setup install /new_install_path'\n",
    /* 56 */ "No hay espacio suficiente para realizar las tareas de instalaci\363n. "
             "Como est\341 usando un directorio de trabajo, %s, en la misma partici\363n "
             "que el directorio de instalaci\363n seleccionado, %s, esta instalaci\363n "
             "requiere %e bytes libres. Vuelva a ejecutar la instalaci\363n indicando "
             "otra ubicaci\363n para el directorio de trabajo o para el directorio "
             "de instalaci\363n. Consulte el archivo readme si necesita ayuda "
             "con la sintaxis.",
    /* 57 */ "",
    /* 58 */ "setup: ERROR",
    /* 59 */ "proceso KelvraD %s terminado\n",
    /* 60 */ "no se pudo obtener la versi\363n",
    /* 61 */ "\nERROR: Est\341 intentando cargar en este equipo una versi\363n "
             "incorrecta del software Morrowgate Services for Unix Systems.\n",
    /* 62 */ "\nSi tiene instalado software de impresi\363n %s que utiliza el "
             "demonio de impresi\363n\n"
             "KelvraD, debe eliminar todas sus colas de impresi\363n %s antes "
             "de instalar\n"
             "este paquete.\n"
             "\nNOTA: KelvraD se encuentra en <directorio de instalaci\363n>/%s/%s\n",
    /* 63 */ "\n\277Desea continuar con la instalaci\363n? [sn] ",
    /* 64 */ "Leyendo el disquete %i\n",
    /* 65 */ "No se pudo determinar el espacio necesario para la instalaci\363n: "
             "falta isize.\n",
    /* 66 */ "\nLos siguientes procesos est\341n en ejecuci\363n.\n"
             "El instalador no puede continuar hasta que terminen:\n",
    /* 67 */ "\277Qu\351 desea hacer?\n",
    /* 68 */ "1.  Esperar 30 segundos a que terminen estos procesos\n",
    /* 69 */ "2.  Salir de la instalaci\363n\n",
    /* 70 */ "\nIntroduzca una opci\363n:  ",
};

const char *const NLS_ITALIAN[NLS_SETUP_COUNT] = {
    /*  0 */ "~e Guida esci",
    /*  1 */ "~c Indice",
    /*  2 */ "~b Indietro",
    /*  3 */ "ERRORE: impossibile aprire %s",
    /*  4 */ "Impossibile espellere il dischetto.\n"
             "Chiudere qualsiasi altra applicazione (file manager, shell) che "
             "possa utilizzare l'unit\340 floppy e premere Invio\n",
    /*  5 */ "Impossibile rilevare il dischetto.\n",
    /*  6 */ "Inserire il dischetto di installazione %i e premere Invio",
    /*  7 */ "\nImmettere la nuova directory di installazione [%s]: ",
    /*  8 */ "Si desidera utilizzare %s",
    /*  9 */ "Si desidera tornare al menu di installazione",
    /* 10 */ "Questa voce deve essere il percorso completo della directory di "
             "installazione.\n",
    /* 11 */ "Specificare una directory di installazione che verr\340 utilizzata",
    /* 12 */ "per installare la directory Talvo insieme ai relativi file e",
    /* 13 */ "directory di supporto. Questa utility creer\340 la directory di",
    /* 14 */ "installazione se non esiste gi\340.",
    /* 15 */ "\t\t\"wrong number of arguments to interface program\" \\\n",
    /* 16 */ "\t\t\"consult your system administrator\" \\\n",
    /* 17 */ "per creare il sito di installazione. Questa utility creer\340 la",
    /* 18 */ "directory di installazione se non esiste gi\340.",
    /* 19 */ "ERRORE: impossibile trovare il dischetto di installazione 0\n",
    /* 20 */ "\nAttenzione: definire un'altra directory di installazione invalider\340 "
             "tutte le code di stampa definite [%s]\n ",
    /* 21 */ "impossibile aprire il file %sInstall/disks",
    /* 22 */ "\nCreazione del dischetto %i ",
    /* 23 */ "\nInserire un dischetto formattato DOS (%i) e premere Invio",
    /* 24 */ "impossibile aprire il file /floppy/floppy0/disks\n",
    /* 25 */ "Inserire il dischetto di installazione %i e premere Invio\n",
    /* 26 */ "impossibile aprire il file %s/disks\n",
    /* 27 */ "\nApplicazione della configurazione\n",
    /* 28 */ "ferma tutto",
    /* 29 */ "\nImpossibile trovare il dispositivo /dev/%s \n",
    /* 30 */ "Immettere il nome del client prima di registrarlo.\n"
             "Premere <Invio> per continuare",
    /* 31 */ "\nAvvio del daemon di stampa Talvo.\n",
    /* 32 */ "\nArresto del daemon di stampa Talvo.\n",
    /* 33 */ "\nRimozione delle stampanti esistenti \n",
    /* 34 */ "Immettere il nome della stampante da rimuovere: ",
    /* 35 */ "%s ha effettuato l'accesso\n"
             "Per eseguire %s occorre essere root\n",
    /* 36 */ "\nPremere <Invio> per continuare. ",
    /* 37 */ "\nImmettere il nome della stampante da rimuovere: ",
    /* 38 */ "%s \350 stato salvato. Si desidera aggiornarlo",
    /* 39 */ "                  la dimensione totale di offset_files verr\340 "
             "usata per ridurre il file disk1. \n",
    /* 40 */ "_disattivato,_attivato",
    /* 41 */ "_No,_S\354",
    /* 42 */ "\nDirectory di installazione esistente [%s]\n ",
    /* 43 */ "Elenco delle stampanti esistenti:\n ",
    /* 44 */ "Elenco delle stampanti salvate:\n",
    /* 45 */ "nessuno,GUI,TTY",
    /* 46 */ "_workstation a stampante,_workstation a server di stampa,_server "
             "di stampa a stampante",
    /* 47 */ "_TCP/IP,_dispositivo locale",
    /* 48 */ "_funzionalit\340 predefinite,_selezione personalizzata delle funzionalit\340",
    /* 49 */ "Spazio insufficiente in %s per eseguire le operazioni di installazione. "
             "L'area di lavoro temporanea deve disporre di almeno %e byte. Riavviare "
             "la procedura di installazione utilizzando un'area di lavoro con "
             "spazio sufficiente. \n"
             "es.: 1. Utilizzare /new_work_area_path al posto di /tmp\n"
             "    2. Eseguire `setup /new_work_area_path`\n",
    /* 50 */ "_nessuno,    ,_TTY",
    /* 51 */ "\nImpossibile trovare i file ppd ppd/* \n",
    /* 52 */ "Inserire il dischetto di installazione %i\n",
    /* 53 */ "Inserire un dischetto formattato DOS (%i)\n",
    /* 54 */ "Per garantire una corretta installazione \350 necessario rimuovere "
             "i seguenti pacchetti:\n"
             " %s\nSi desidera continuare con l'aggiornamento",
    /* 55 */ "Spazio insufficiente in %s per eseguire le operazioni di installazione. "
             "L'area di installazione deve disporre di almeno %e byte. Riavviare "
             "la procedura di installazione utilizzando un'area di installazione "
             "con spazio sufficiente. \n"
             "es.: 1. Utilizzare /new_install_path al posto della posizione predefinita\n"
             "    2. Eseguire 'setup install /new_install_path'\n",
    /* 56 */ "Spazio insufficiente per eseguire le operazioni di installazione. "
             "Poich\351 si utilizza una directory di lavoro, %s, sulla stessa "
             "partizione della directory di installazione selezionata, %s, questa "
             "installazione richiede %e byte liberi. Eseguire di nuovo l'installazione "
             "specificando una posizione diversa per la directory di lavoro o "
             "per la directory di installazione. Per informazioni sulla sintassi, "
             "consultare il file readme.",
    /* 57 */ "",
    /* 58 */ "installazione: ERRORE",
    /* 59 */ "processo KelvraD %s terminato\n",
    /* 60 */ "impossibile ottenere la versione",
    /* 61 */ "\nERRORE: si sta tentando di caricare su questo computer una versione "
             "errata del software Morrowgate Services for Unix Systems.\n",
    /* 62 */ "\nSe \350 installato un software di stampa %s che utilizza il daemon "
             "di stampa\nKelvraD, \350 necessario eliminare tutte le code di "
             "stampa %s prima di installare\n"
             "questo pacchetto.\n"
             "\nNOTA: KelvraD si trova in <directory di installazione>/%s/%s\n",
    /* 63 */ "\nSi desidera continuare con l'installazione? [yn] ",
    /* 64 */ "Lettura del dischetto %i\n",
    /* 65 */ "Impossibile determinare lo spazio necessario per l'installazione: "
             "manca isize.\n",
    /* 66 */ "\nI seguenti processi sono in esecuzione.\n"
             "L'installazione non pu\362 continuare finch\351 non terminano:\n",
    /* 67 */ "Si desidera:\n",
    /* 68 */ "1.  Attendere 30 secondi che questi processi terminino\n",
    /* 69 */ "2.  Uscire dall'installazione\n",
    /* 70 */ "\nImmettere una selezione:  ",
};

const char *const NLS_FRENCH[NLS_SETUP_COUNT] = {
    /*  0 */ "~e Quitter l'Aide",
    /*  1 */ "~c Contenu",
    /*  2 */ "~b Pr\351c\351dent",
    /*  3 */ "ERREUR : impossible d'ouvrir %s",
    /*  4 */ "Impossible d'\351jecter la disquette.\n"
             "Quittez toute autre application (gestionnaire de fichiers, shell) "
             "susceptible d'utiliser le lecteur de disquettes, puis appuyez sur Entr\351e\n",
    /*  5 */ "Impossible de d\351tecter la disquette.\n",
    /*  6 */ "Ins\351rez la disquette d'installation %i et appuyez sur Entr\351e",
    /*  7 */ "\nEntrez le nouveau r\351pertoire d'installation [%s] : ",
    /*  8 */ "Voulez-vous utiliser %s",
    /*  9 */ "Voulez-vous revenir au menu d'installation",
    /* 10 */ "Cette entr\351e doit \352tre le chemin complet du r\351pertoire "
             "d'installation.\n",
    /* 11 */ "Vous devez indiquer un r\351pertoire d'installation qui servira",
    /* 12 */ "\340 installer le r\351pertoire Talvo avec ses fichiers et r\351pertoires",
    /* 13 */ "de support. Cet utilitaire cr\351era le r\351pertoire d'installation",
    /* 14 */ "s'il n'existe pas encore.",
    /* 15 */ "\t\t\"wrong number of arguments to interface program\" \\\n",
    /* 16 */ "\t\t\"consult your system administrator\" \\\n",
    /* 17 */ "\340 cr\351er le site d'installation. Cet utilitaire cr\351era le",
    /* 18 */ "r\351pertoire d'installation s'il n'existe pas encore.",
    /* 19 */ "ERREUR : impossible de trouver la disquette d'installation 0\n",
    /* 20 */ "\nAttention : d\351finir un autre r\351pertoire d'installation "
             "invalidera toutes les files d'impression d\351finies [%s]\n ",
    /* 21 */ "impossible d'ouvrir le fichier %sInstall/disks",
    /* 22 */ "\nCr\351ation de la disquette %i ",
    /* 23 */ "\nIns\351rez une disquette format\351e DOS (%i) et appuyez sur Entr\351e",
    /* 24 */ "impossible d'ouvrir le fichier /floppy/floppy0/disks\n",
    /* 25 */ "Ins\351rez la disquette d'installation %i et appuyez sur Entr\351e\n",
    /* 26 */ "impossible d'ouvrir le fichier %s/disks\n",
    /* 27 */ "\nApplication de la configuration\n",
    /* 28 */ "tout arr\352ter",
    /* 29 */ "\nImpossible de trouver le p\351riph\351rique /dev/%s \n",
    /* 30 */ "Entrez le nom du client avant de l'enregistrer.\n"
             "Appuyez sur <Entr\351e> pour continuer",
    /* 31 */ "\nD\351marrage du d\351mon d'impression Talvo.\n",
    /* 32 */ "\nArr\352t du d\351mon d'impression Talvo.\n",
    /* 33 */ "\nSuppression des imprimantes existantes \n",
    /* 34 */ "Entrez le nom de l'imprimante \340 supprimer : ",
    /* 35 */ "%s est connect\351\n"
             "Vous devez \352tre root pour ex\351cuter %s\n",
    /* 36 */ "\nAppuyez sur <Entr\351e> pour continuer. ",
    /* 37 */ "\nEntrez le nom de l'imprimante \340 supprimer : ",
    /* 38 */ "%s a \351t\351 enregistr\351. Voulez-vous le mettre \340 jour",
    /* 39 */ "                  la taille totale de offset_files servira \340 "
             "r\351duire le fichier disk1. \n",
    /* 40 */ "_d\351sactiv\351,_activ\351",
    /* 41 */ "_Non,_Oui",
    /* 42 */ "\nR\351pertoire d'installation existant [%s]\n ",
    /* 43 */ "Liste des imprimantes existantes :\n ",
    /* 44 */ "Liste des imprimantes enregistr\351es :\n",
    /* 45 */ "aucun,GUI,TTY",
    /* 46 */ "_poste de travail vers imprimante,_poste de travail vers serveur "
             "d'impression,_serveur d'impression vers imprimante",
    /* 47 */ "_TCP/IP,_p\351riph\351rique local",
    /* 48 */ "_fonctions par d\351faut,_s\351lection personnalis\351e des fonctions",
    /* 49 */ "L'espace disponible dans %s est insuffisant pour effectuer l'installation. "
             "La zone de travail temporaire doit disposer d'au moins %e octets. "
             "Relancez la proc\351dure d'installation avec une zone de travail "
             "disposant de suffisamment d'espace. \n"
             "ex. : 1. Utilisez /new_work_area_path au lieu de /tmp\n"
             "    2. Ex\351cutez `setup /new_work_area_path`\n",
    /* 50 */ "_aucun,    ,_TTY",
    /* 51 */ "\nImpossible de trouver les fichiers ppd ppd/* \n",
    /* 52 */ "Ins\351rez la disquette d'installation %i\n",
    /* 53 */ "Ins\351rez une disquette format\351e DOS (%i)\n",
    /* 54 */ "Les paquets suivants doivent \352tre supprim\351s pour garantir "
             "une installation correcte :\n"
             " %s\nVoulez-vous poursuivre la mise \340 jour",
    /* 55 */ "L'espace disponible dans %s est insuffisant pour effectuer l'installation. "
             "La zone d'installation doit disposer d'au moins %e octets. Relancez "
             "la proc\351dure d'installation avec une zone d'installation disposant "
             "de suffisamment d'espace. \n"
             "ex. : 1. Utilisez /new_install_path au lieu de l'emplacement par "
             "d\351faut\n    2. Ex\351cutez 'setup install /new_install_path'\n",
    /* 56 */ "L'espace disponible est insuffisant pour effectuer l'installation. "
             "Comme vous utilisez un r\351pertoire de travail, %s, sur la m\352me "
             "partition que le r\351pertoire d'installation choisi, %s, cette "
             "installation n\351cessite %e octets libres. Relancez l'installation "
             "en indiquant un autre emplacement pour le r\351pertoire de travail "
             "ou le r\351pertoire d'installation. Consultez le fichier readme "
             "pour obtenir de l'aide sur la syntaxe.",
    /* 57 */ "",
    /* 58 */ "installation : ERREUR :",
    /* 59 */ "processus KelvraD %s arr\352t\351\n",
    /* 60 */ "impossible d'obtenir la version",
    /* 61 */ "\nERREUR : vous essayez de charger sur cette machine une version "
             "incorrecte du logiciel Morrowgate Services for Unix Systems.\n",
    /* 62 */ "\nSi un logiciel d'impression %s utilisant le d\351mon d'impression "
             "KelvraD\nest install\351, vous devez supprimer toutes vos files "
             "d'impression %s avant\n"
             "d'installer ce paquet.\n"
             "\nREMARQUE : KelvraD se trouve dans <r\351pertoire d'installation>/%s/%s\n",
    /* 63 */ "\nVoulez-vous poursuivre l'installation ? [on] ",
    /* 64 */ "Lecture de la disquette %i\n",
    /* 65 */ "Impossible de d\351terminer l'espace n\351cessaire \340 l'installation "
             ": isize est absent.\n",
    /* 66 */ "\nLes processus suivants sont en cours d'ex\351cution.\n"
             "L'installation ne peut pas continuer tant qu'ils ne sont pas termin\351s :\n",
    /* 67 */ "Souhaitez-vous :\n",
    /* 68 */ "1.  Attendre 30 secondes que ces processus se terminent\n",
    /* 69 */ "2.  Quitter l'installation\n",
    /* 70 */ "\nEntrez votre choix :  ",
};

const char *const NLS_GERMAN[NLS_SETUP_COUNT] = {
    /*  0 */ "~h Hilfe verlassen",
    /*  1 */ "~I Inhalt",
    /*  2 */ "~z Zur\374ck",
    /*  3 */ "FEHLER: %s konnte nicht ge\366ffnet werden",
    /*  4 */ "Die Diskette kann nicht ausgeworfen werden.\n"
             "Bitte beenden Sie alle anderen Anwendungen (Dateimanager, Shell), "
             "die das Diskettenlaufwerk verwenden k\366nnten, und dr\374cken "
             "Sie die Eingabetaste\n",
    /*  5 */ "Die Diskette kann nicht erkannt werden.\n",
    /*  6 */ "Bitte legen Sie die Installationsdiskette %i ein und dr\374cken "
             "Sie die Eingabetaste",
    /*  7 */ "\nGeben Sie das neue Installationsverzeichnis ein [%s]: ",
    /*  8 */ "M\366chten Sie %s verwenden",
    /*  9 */ "M\366chten Sie zum Setup-Men\374 zur\374ckkehren",
    /* 10 */ "Diese Eingabe muss ein vollst\344ndiger Pfad zum Installationsverzeichnis sein.\n",
    /* 11 */ "Sie m\374ssen ein Installationsverzeichnis angeben, das verwendet wird,",
    /* 12 */ "um das Talvo-Verzeichnis samt seinen Hilfsdateien und",
    /* 13 */ "-verzeichnissen zu installieren. Das Programm legt das Verzeichnis",
    /* 14 */ "an, falls es noch nicht existiert.",
    /* 15 */ "\t\t\"wrong number of arguments to interface program\" \\\n",
    /* 16 */ "\t\t\"consult your system administrator\" \\\n",
    /* 17 */ "um den Installationsort anzulegen. Das Programm legt das",
    /* 18 */ "Installationsverzeichnis an, falls es noch nicht existiert.",
    /* 19 */ "FEHLER: Installationsdiskette 0 nicht gefunden\n",
    /* 20 */ "\nWarnung: Wenn Sie ein anderes Installationsverzeichnis festlegen, "
             "werden alle eingerichteten Druckwarteschlangen ung\374ltig [%s]\n ",
    /* 21 */ "Datei kann nicht ge\366ffnet werden: %sInstall/disks",
    /* 22 */ "\nDiskette %i wird erstellt ",
    /* 23 */ "\nBitte legen Sie eine DOS-formatierte Diskette (%i) ein und dr\374cken "
             "Sie die Eingabetaste",
    /* 24 */ "Datei kann nicht ge\366ffnet werden: /floppy/floppy0/disks\n",
    /* 25 */ "Bitte legen Sie die Installationsdiskette %i ein und dr\374cken "
             "Sie die Eingabetaste\n",
    /* 26 */ "Datei kann nicht ge\366ffnet werden: %s/disks\n",
    /* 27 */ "\nKonfiguration wird \374bernommen\n",
    /* 28 */ "alle anhalten",
    /* 29 */ "\nGer\344t /dev/%s nicht gefunden \n",
    /* 30 */ "Geben Sie den Namen des Clients ein, bevor Sie ihn registrieren.\n"
             "Dr\374cken Sie <Eingabe>, um fortzufahren",
    /* 31 */ "\nTalvo-Druckd\344mon wird gestartet.\n",
    /* 32 */ "\nTalvo-Druckd\344mon wird angehalten.\n",
    /* 33 */ "\nVorhandene Drucker werden entfernt \n",
    /* 34 */ "Geben Sie den Namen des zu entfernenden Druckers ein: ",
    /* 35 */ "%s ist angemeldet\n"
             "Sie m\374ssen root sein, um %s auszuf\374hren\n",
    /* 36 */ "\nDr\374cken Sie <Eingabe>, um fortzufahren. ",
    /* 37 */ "\nGeben Sie den Namen des zu entfernenden Druckers ein: ",
    /* 38 */ "%s wurde gespeichert. M\366chten Sie es aktualisieren",
    /* 39 */ "                  die Gesamtgr\366\337e von offset_files wird verwendet, "
             "um die Datei disk1 zu verkleinern. \n",
    /* 40 */ "_deaktiviert,_aktiviert",
    /* 41 */ "_Nein,_Ja",
    /* 42 */ "\nVorhandenes Installationsverzeichnis [%s]\n ",
    /* 43 */ "Liste der vorhandenen Drucker:\n ",
    /* 44 */ "Liste der gespeicherten Drucker:\n",
    /* 45 */ "keine,GUI,TTY",
    /* 46 */ "_Arbeitsstation zu Drucker,_Arbeitsstation zu Druckserver,_Druckserver zu Drucker",
    /* 47 */ "_TCP/IP,_lokales Ger\344t",
    /* 48 */ "_Standardfunktionen,_benutzerdefinierte Funktionsauswahl",
    /* 49 */ "In %s ist nicht gen\374gend Speicherplatz f\374r die Installation "
             "vorhanden. Der tempor\344re Arbeitsbereich muss mindestens %e Byte "
             "gro\337 sein. Starten Sie die Installation erneut mit einem Arbeitsbereich, "
             "der gen\374gend Platz bietet. \n"
             "z. B.: 1. Verwenden Sie /new_work_area_path anstelle von /tmp\n"
             "    2. F\374hren Sie `setup /new_work_area_path` aus\n",
    /* 50 */ "_keine,    ,_TTY",
    /* 51 */ "\nPPD-Dateien ppd/* nicht gefunden \n",
    /* 52 */ "Bitte legen Sie die Installationsdiskette %i ein\n",
    /* 53 */ "Bitte legen Sie eine DOS-formatierte Diskette (%i) ein\n",
    /* 54 */ "Die folgenden Pakete m\374ssen entfernt werden, um eine korrekte "
             "Installation sicherzustellen:\n"
             " %s\nM\366chten Sie mit der Aktualisierung fortfahren",
    /* 55 */ "In %s ist nicht gen\374gend Speicherplatz f\374r die Installation "
             "vorhanden. Der Installationsbereich muss mindestens %e Byte gro\337 "
             "sein. Starten Sie die Installation erneut mit einem Installationsbereich, "
             "der gen\374gend Platz bietet. \n"
             "z. B.: 1. Verwenden Sie /new_install_path anstelle des Standardorts\n"
             "    2. F\374hren Sie 'setup install /new_install_path' aus\n",
    /* 56 */ "F\374r die Installation ist nicht gen\374gend Speicherplatz vorhanden. "
             "Da Sie ein Arbeitsverzeichnis, %s, auf derselben Partition wie "
             "das gew\344hlte Installationsverzeichnis, %s, verwenden, ben\366tigt "
             "diese Installation %e Byte freien Speicher. Bitte starten Sie die "
             "Installation erneut und geben Sie einen anderen Ort f\374r das "
             "Arbeits- oder das Installationsverzeichnis an. Hilfe zur Syntax "
             "finden Sie in der Readme-Datei.",
    /* 57 */ "",
    /* 58 */ "Setup: FEHLER",
    /* 59 */ "KelvraD-Prozess %s beendet\n",
    /* 60 */ "Version konnte nicht ermittelt werden",
    /* 61 */ "\nFEHLER: Sie versuchen, die falsche Version der Software Morrowgate "
             "Services for Unix Systems auf diesen Rechner zu laden.\n",
    /* 62 */ "\nWenn Sie %s-Druckersoftware installiert haben, die den Druckd\344mon "
             "KelvraD\nverwendet, m\374ssen Sie vor der Installation dieses Pakets "
             "alle Ihre\n%s-Druckwarteschlangen l\366schen.\n"
             "\nHINWEIS: KelvraD befindet sich in <Installationsverzeichnis>/%s/%s\n",
    /* 63 */ "\nM\366chten Sie mit der Installation fortfahren? [jn] ",
    /* 64 */ "Diskette %i wird gelesen\n",
    /* 65 */ "Der f\374r die Installation ben\366tigte Speicherplatz kann nicht "
             "ermittelt werden, isize fehlt.\n",
    /* 66 */ "\nDie folgenden Prozesse laufen.\n"
             "Die Installation kann erst fortgesetzt werden, wenn sie beendet sind:\n",
    /* 67 */ "M\366chten Sie:\n",
    /* 68 */ "1.  30 Sekunden warten, bis diese Prozesse beendet sind\n",
    /* 69 */ "2.  Die Installation abbrechen\n",
    /* 70 */ "\nGeben Sie Ihre Auswahl ein:  ",
};

const char *const NLS_PORTUGUESE[NLS_SETUP_COUNT] = {
    /*  0 */ "~s Sair da Ajuda",
    /*  1 */ "~c Conte\372do",
    /*  2 */ "~v Voltar",
    /*  3 */ "ERRO: n\343o foi poss\355vel abrir %s",
    /*  4 */ "N\343o foi poss\355vel ejetar o disquete.\n"
             "Feche qualquer outro aplicativo (gerenciador de arquivos, shell) "
             "que possa estar usando a unidade de disquete e pressione Enter\n",
    /*  5 */ "N\343o foi poss\355vel detectar o disquete.\n",
    /*  6 */ "Insira o disquete de instala\347\343o %i e pressione Enter",
    /*  7 */ "\nDigite o novo diret\363rio de instala\347\343o [%s]: ",
    /*  8 */ "Deseja usar %s",
    /*  9 */ "Deseja voltar ao menu de instala\347\343o",
    /* 10 */ "Esta entrada deve ser o caminho completo do diret\363rio de instala\347\343o.\n",
    /* 11 */ "Voc\352 deve especificar um diret\363rio de instala\347\343o que "
             "ser\341 usado",
    /* 12 */ "para instalar o diret\363rio Talvo com seus arquivos e diret\363rios",
    /* 13 */ "de suporte. Este utilit\341rio criar\341 o diret\363rio de instala\347\343o",
    /* 14 */ "caso ele ainda n\343o exista.",
    /* 15 */ "\t\t\"wrong number of arguments to interface program\" \\\n",
    /* 16 */ "\t\t\"consult your system administrator\" \\\n",
    /* 17 */ "para criar o site de instala\347\343o. Este utilit\341rio criar\341 o",
    /* 18 */ "diret\363rio de instala\347\343o caso ele ainda n\343o exista.",
    /* 19 */ "ERRO: n\343o foi poss\355vel localizar o disquete de instala\347\343o 0\n",
    /* 20 */ "\nAviso: definir outro diret\363rio de instala\347\343o invalidar\341 "
             "todas as filas de impress\343o definidas [%s]\n ",
    /* 21 */ "n\343o foi poss\355vel abrir o arquivo %sInstall/disks",
    /* 22 */ "\nCriando o disquete %i ",
    /* 23 */ "\nInsira um disquete formatado em DOS (%i) e pressione Enter",
    /* 24 */ "n\343o foi poss\355vel abrir o arquivo /floppy/floppy0/disks\n",
    /* 25 */ "Insira o disquete de instala\347\343o %i e pressione Enter\n",
    /* 26 */ "n\343o foi poss\355vel abrir o arquivo %s/disks\n",
    /* 27 */ "\nAplicando a configura\347\343o\n",
    /* 28 */ "parar tudo",
    /* 29 */ "\nN\343o foi poss\355vel localizar o dispositivo /dev/%s \n",
    /* 30 */ "Digite o nome do cliente antes de registr\341-lo.\n"
             "Pressione <Enter> para continuar",
    /* 31 */ "\nIniciando o daemon de impress\343o Talvo.\n",
    /* 32 */ "\nParando o daemon de impress\343o Talvo.\n",
    /* 33 */ "\nRemovendo as impressoras existentes \n",
    /* 34 */ "Digite o nome da impressora a ser removida: ",
    /* 35 */ "%s est\341 conectado\n"
             "Voc\352 precisa ser root para executar %s\n",
    /* 36 */ "\nPressione <Enter> para continuar. ",
    /* 37 */ "\nDigite o nome da impressora a ser removida: ",
    /* 38 */ "%s foi salvo. Deseja atualiz\341-lo",
    /* 39 */ "                  o tamanho total de offset_files ser\341 usado "
             "para reduzir o arquivo disk1. \n",
    /* 40 */ "_desativado,_ativado",
    /* 41 */ "_N\343o,_Sim",
    /* 42 */ "\nDiret\363rio de instala\347\343o existente [%s]\n ",
    /* 43 */ "Lista de impressoras existentes:\n ",
    /* 44 */ "Lista de impressoras salvas:\n",
    /* 45 */ "nenhum,GUI,TTY",
    /* 46 */ "_esta\347\343o de trabalho para impressora,_esta\347\343o de trabalho "
             "para servidor de impress\343o,_servidor de impress\343o para impressora",
    /* 47 */ "_TCP/IP,_dispositivo local",
    /* 48 */ "_recursos padr\343o,_sele\347\343o personalizada de recursos",
    /* 49 */ "N\343o h\341 espa\347o suficiente em %s para realizar as atividades "
             "de instala\347\343o. A \341rea de trabalho tempor\341ria deve ter "
             "pelo menos %e bytes. Reinicie o procedimento de instala\347\343o "
             "usando uma \341rea de trabalho com espa\347o suficiente. \n"
             "ex.: 1. Use /new_work_area_path no lugar de /tmp\n"
             "    2. Execute `setup /new_work_area_path`\n",
    /* 50 */ "_nenhum,    ,_TTY",
    /* 51 */ "\nN\343o foi poss\355vel localizar os arquivos ppd ppd/* \n",
    /* 52 */ "Insira o disquete de instala\347\343o %i\n",
    /* 53 */ "Insira um disquete formatado em DOS (%i)\n",
    /* 54 */ "Os seguintes pacotes devem ser removidos para garantir a instala\347\343o "
             "correta:\n %s\n"
             "Deseja continuar com a atualiza\347\343o",
    /* 55 */ "N\343o h\341 espa\347o suficiente em %s para realizar as atividades "
             "de instala\347\343o. A \341rea de instala\347\343o deve ter pelo "
             "menos %e bytes. Reinicie o procedimento de instala\347\343o usando "
             "uma \341rea de instala\347\343o com espa\347o suficiente. \n"
             "ex.: 1. Use /new_install_path no lugar do local padr\343o\n"
             "    2. Execute 'setup install /new_install_path'\n",
    /* 56 */ "N\343o h\341 espa\347o suficiente para realizar as atividades de "
             "instala\347\343o. Como voc\352 est\341 usando um diret\363rio de "
             "trabalho, %s, na mesma parti\347\343o do diret\363rio de instala\347\343o "
             "selecionado, %s, esta instala\347\343o requer %e bytes livres. "
             "Execute a instala\347\343o novamente especificando outro local "
             "para o diret\363rio de trabalho ou para o diret\363rio de instala\347\343o. "
             "Consulte o arquivo readme se precisar de ajuda com a sintaxe.",
    /* 57 */ "",
    /* 58 */ "configura\347\343o: ERRO",
    /* 59 */ "processo KelvraD %s encerrado\n",
    /* 60 */ "falha ao obter a vers\343o",
    /* 61 */ "\nERRO: Voc\352 est\341 tentando carregar a vers\343o errada do "
             "software Morrowgate Services for Unix Systems nesta m\341quina.\n",
    /* 62 */ "\nSe voc\352 tem instalado um software de impress\343o %s que usa "
             "o daemon de\n"
             "impress\343o KelvraD, deve excluir todas as suas filas de impress\343o "
             "%s antes de\n"
             "instalar este pacote.\n"
             "\nOBSERVA\307\303O: KelvraD est\341 localizado em <diret\363rio "
             "de instala\347\343o>/%s/%s\n",
    /* 63 */ "\nDeseja continuar com a instala\347\343o? [sn] ",
    /* 64 */ "Lendo o disquete %i\n",
    /* 65 */ "N\343o foi poss\355vel determinar o espa\347o necess\341rio para "
             "a instala\347\343o; falta o arquivo isize.\n",
    /* 66 */ "\nOs seguintes processos est\343o em execu\347\343o.\n"
             "O instalador n\343o pode continuar at\351 que eles terminem:\n",
    /* 67 */ "Voc\352 deseja:\n",
    /* 68 */ "1.  Aguardar 30 segundos at\351 que esses processos terminem\n",
    /* 69 */ "2.  Sair da instala\347\343o\n",
    /* 70 */ "\nDigite uma op\347\343o:  ",
};

namespace {

// Language codes as the installer has always read them: the German and Portuguese
// codes are not the usual locale names.
const char *const LanguageCodes = ",en_US,es_ES,it_IT,fr_FR,ge_GE,pr_BR";

// Indexed by the position FindToken gives; 0 (not in the list) is English.
const char *const *const Tables[] = {NLS_ENGLISH, NLS_ENGLISH, NLS_SPANISH,   NLS_ITALIAN,
                                     NLS_FRENCH,  NLS_GERMAN,  NLS_PORTUGUESE};

const char *const *pNlsTable = nullptr;

const char *const *ChooseTable() {
    const char *lang = std::getenv("LANG");
    // The value is looked up as one whole word: an empty value, or one holding the
    // list's delimiter, can name no language.
    if (!lang || !*lang || std::strchr(lang, LanguageCodes[0]))
        return NLS_ENGLISH;
    int pos = FindToken(lang, LanguageCodes);
    if (pos < 0 || pos >= static_cast<int>(sizeof Tables / sizeof Tables[0]))
        return NLS_ENGLISH;
    return Tables[pos];
}

}  // namespace

const char *NlsSetupStrCvt(unsigned int n) {
    if (!pNlsTable)
        pNlsTable = ChooseTable();
    if (n >= static_cast<unsigned int>(NLS_SETUP_COUNT))
        return "";
    return pNlsTable[n];
}

void NlsSetupReset() {
    pNlsTable = nullptr;
}
