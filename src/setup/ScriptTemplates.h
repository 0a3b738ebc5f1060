// ScriptTemplates.h - the texts of the scripts the installer writes. They are
// printf formats (a "%%" in a script is one "%"), kept as compile-time constants so
// that the compiler checks every call that fills them.
#pragma once

inline constexpr char ScriptShShell[] = "#!/bin/sh";

// Five comment lines of 63 characters and an empty line; the year goes into "%d".
inline constexpr char ScriptBanner[] =
    "###############################################################\n"
    "##                                                           ##\n"
    "##    Talvo printer software (c) %d Morrowgate Services    ##\n"
    "##                                                           ##\n"
    "###############################################################\n"
    "\n";

inline constexpr char SimpleScript[] =
    "\nKelvraFileSourceDir=`pwd`\nexport KelvraFileSourceDir\n\ncd %s\nexec %s/%s $*\n";

// Interface script 1: the spoolers call it for every job. Arguments: application
// directory; product code of the BSD tool; the BSD log name twice; product code of
// the LPRng, V5 and CUPS tools.
inline constexpr char TalvoPrintdorvScript[] = R"SH(
ToolPath="%s"
CfgFlags=`cat "${ToolPath}/.kv_cfg" 2>/dev/null`
flConfig=""
for KelvraFlag in $CfgFlags
do
	case "$KelvraFlag" in
	LPRng|V5|AIX|BSD|CUPS) flConfig=$KelvraFlag ;;
	esac
done

case "${flConfig:-V5}" in
AIX)	# AIX print subsystem
	cd "$ToolPath"
	"${ToolPath}/AixInterface" $*
	;;
BSD)	# Berkeley line printer daemon
	KelvraQueue=`pwd`
	KelvraPrinter=`basename "$KelvraQueue"`
	"${ToolPath}/kvr%stty" -d$KelvraPrinter -f 1>>%s.log 2>>%s.log
	;;
LPRng)	# LPRng print spooler
	KelvraFileSourceDir=`pwd`
	export KelvraFileSourceDir
	cd "$ToolPath"
	if [ -n "$PRINTER" ]; then
		KelvraQueue=$PRINTER
	else
		KelvraQueue=`basename "$SPOOL_DIR"`
	fi
	KelvraOptions=""
	KelvraFiles=""
	KelvraFileCount=0
	KelvraNCount=0
	KelvraControl_file=""
	KelvraLines=`echo "$CONTROL"; for KelvraArg in "$@"; do echo "$KelvraArg"; done`
	while read KelvraLine
	do
		case "$KelvraLine" in
		H*)	KelvraHost_name=`echo "$KelvraLine" | cut -c2-` ;;
		P*)	KelvraUser_name=`echo "$KelvraLine" | cut -c2-` ;;
		Z*)	for KelvraOpt in `echo "$KelvraLine" | cut -c2- | tr ',' ' '`
			do
				KelvraOptions="$KelvraOptions -o$KelvraOpt"
			done ;;
		J*)	KelvraOptions="$KelvraOptions -`echo "$KelvraLine" | sed 's/ .*//'`" ;;
		T*)	KelvraJob_title=`echo "$KelvraLine" | cut -c2-` ;;
		N*)	KelvraNCount=`expr $KelvraNCount + 1` ;;
		U*)	KelvraName=`echo "$KelvraLine" | cut -c2-`
			if [ -z "$KelvraControl_file" ]; then
				KelvraControl_file="c`echo "$KelvraName" | cut -c2-`"
			fi
			KelvraFiles="$KelvraFiles ${SPOOL_DIR}/$KelvraName"
			KelvraFileCount=`expr $KelvraFileCount + 1` ;;
		-print)
			if [ "$KelvraNCount" -gt 0 ]; then
				Copies=`expr $KelvraFileCount / $KelvraNCount`
			else
				Copies=1
			fi
			[ "$Copies" -gt 0 ] || Copies=1
			KelvraJobFiles=""
			KelvraIndex=0
			for KelvraName in $KelvraFiles
			do
				if [ `expr $KelvraIndex %% $Copies` -eq 0 ]; then
					KelvraJobFiles="$KelvraJobFiles $KelvraName"
				fi
				KelvraIndex=`expr $KelvraIndex + 1`
			done
			export KelvraHost_name KelvraUser_name KelvraJob_title KelvraControl_file
			"${ToolPath}/kvr%stty" -d${KelvraQueue} $KelvraOptions -c$Copies $KelvraJobFiles
			echo "Output for LPRng"
			exit 0 ;;
		esac
	done <<KelvraEOF
$KelvraLines
KelvraEOF
	;;
V5)	# System V lp spooler
	PATH=/usr/sbin:/usr/bin
	KelvraPrinter=`basename $0`
	KelvraRequest_id=$1
	KelvraUser_name=$2
	KelvraTitle=$3
	KelvraCopies=$4
	KelvraOption_list=$5
	export KelvraPrinter KelvraRequest_id KelvraUser_name KelvraTitle KelvraCopies KelvraOption_list
	shift 5
	cd "$ToolPath"
	"${ToolPath}/kvr%stty" -d$KelvraPrinter -i $*
	;;
CUPS)	# Common Unix Printing System
	PATH=/usr/sbin:/usr/bin
	KelvraPrinter=$PRINTER
	KelvraRequest_id=$1
	KelvraUser_name=$2
	KelvraTitle=$3
	KelvraCopies=$4
	KelvraOption_list=$5
	export KelvraPrinter KelvraRequest_id KelvraUser_name KelvraTitle KelvraCopies KelvraOption_list
	shift 5
	cd "$ToolPath"
	"${ToolPath}/kvr%stty" -d$KelvraPrinter -i $*
	;;
esac
)SH";

// Interface script 2: hands every job to the send program until it succeeds.
// Arguments: application directory; queue spool directory.
inline constexpr char TalvoKSFScript[] = R"SH(
ToolPath="%s"
CfgFlags=`cat "${ToolPath}/.kv_cfg" 2>/dev/null`
SpoolDir="%s"
flConfig=""
for KelvraFlag in $CfgFlags
do
	case "$KelvraFlag" in
	LPRng|V5|AIX|BSD|CUPS) flConfig=$KelvraFlag ;;
	esac
done

case "${flConfig:-V5}" in
AIX)	# AIX print subsystem
	cd "$ToolPath"
	until "${ToolPath}/ksf" $*
	do
		sleep 5
	done
	;;
BSD)	# Berkeley line printer daemon
	KelvraQueue=`pwd`
	KelvraPrinter=`basename "$KelvraQueue"`
	KelvraJob="${SpoolDir}/${KelvraPrinter}/${KelvraPrinter}.$$"
	cat > "$KelvraJob"
	until "${ToolPath}/ksf" "$KelvraJob"
	do
		sleep 5
	done
	rm -f "$KelvraJob"
	;;
LPRng)	# LPRng print spooler
	KelvraQueue=`pwd`
	KelvraPrinter=`basename "$KelvraQueue"`
	KelvraFiles=""
	KelvraStdin=""
	while getopts "C:A:F:H:J:L:P:Q:a:d:e:f:h:j:k:l:n:s:w:y:t:x:" KelvraOpt
	do
		case "$KelvraOpt" in
		f)	if [ "$OPTARG" = "(stdin)" ]; then
				KelvraStdin="${SPOOL_DIR}/${KelvraPrinter}.$$"
				cat > "$KelvraStdin"
				KelvraFiles="$KelvraFiles $KelvraStdin"
			else
				KelvraFiles="$KelvraFiles $OPTARG"
			fi ;;
		esac
	done
	until "${ToolPath}/ksf" $KelvraFiles
	do
		sleep 5
	done
	# the job went out: a filter that ends non-zero would have it sent again
	if [ -n "$KelvraStdin" ]; then
		rm -f "$KelvraStdin"
	fi
	;;
V5)	# System V lp spooler
	PATH=/usr/sbin:/usr/bin
	KelvraPrinter=`basename $0`
	KelvraRequest_id=$1
	KelvraUser_name=$2
	KelvraTitle=$3
	KelvraCopies=$4
	KelvraOption_list=$5
	export KelvraPrinter KelvraRequest_id KelvraUser_name KelvraTitle KelvraCopies KelvraOption_list
	shift 5
	cd "$ToolPath"
	until "${ToolPath}/ksf" $*
	do
		sleep 5
	done
	;;
CUPS)	# Common Unix Printing System
	PATH=/usr/sbin:/usr/bin
	KelvraPrinter=$PRINTER
	KelvraRequest_id=$1
	KelvraUser_name=$2
	KelvraTitle=$3
	KelvraCopies=$4
	KelvraOption_list=$5
	export KelvraPrinter KelvraRequest_id KelvraUser_name KelvraTitle KelvraCopies KelvraOption_list
	shift 5
	cd "$ToolPath"
	until "${ToolPath}/ksf" $*
	do
		sleep 5
	done
	;;
esac
)SH";

