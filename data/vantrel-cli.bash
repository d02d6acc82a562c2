# bash completion for vantrel-cli                      -*- shell-script -*-

# The extensions of the files a join or a probe takes; upper case is matched
# too.
_vantrel_cli_media='avi|divx|mpg|mpeg|mpe|m1v|m2v|mpv|vob|mp4|m4v|mov|qt|3gp|3g2|mkv|webm|ts|m2ts|mts|flv|wmv|asf|rm|rmvb|ogv|dv'

# Completes the current word with files whose extension matches the
# extended pattern $1 (and folders, to walk into).
_vantrel_cli_files() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local IFS=$'\n' f
    local -a found=()
    local saved
    saved=$(shopt -p nocasematch nullglob extglob)
    shopt -s nocasematch nullglob extglob
    for f in "$cur"*; do
        if [[ -d $f ]]; then
            found+=("$f/")
        elif [[ $f == *.@($1) ]]; then
            found+=("$f")
        fi
    done
    eval "$saved"
    COMPREPLY=("${found[@]}")
    # A folder is completed with its slash and no space, to go on inside it.
    if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == */ ]]; then
        compopt -o nospace 2>/dev/null
    fi
    compopt -o filenames 2>/dev/null
}

_vantrel_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W 'join probe codecs project help -h --help --version' -- "$cur"))
        return
    fi

    local command=${COMP_WORDS[1]}
    case $command in
    join)
        case $prev in
        -o | --output)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        --project)
            _vantrel_cli_files 'qmf'
            return
            ;;
        --resize)
            COMPREPLY=($(compgen -W 'letterbox crop stretch none' -- "$cur"))
            return
            ;;
        --vcodec)
            COMPREPLY=($(compgen -W 'none libx264 libx265 libvpx-vp9 libsvtav1 libaom-av1 mpeg4' -- "$cur"))
            return
            ;;
        --acodec)
            COMPREPLY=($(compgen -W 'none aac libopus libmp3lame ac3' -- "$cur"))
            return
            ;;
        --cut)
            COMPREPLY=($(compgen -W 'exact keyframe' -- "$cur"))
            return
            ;;
        --size | --rate | --vopt | --aopt | --in | --out)
            return
            ;;
        esac
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--copy --smart --recompress -o --output --project --without-sound --exact
                --correct-timestamps --no-correct-timestamps --verify -y --overwrite -q --quiet -h --help --size
                --rate --resize --vcodec --acodec --vopt --aopt --in --out --cut --' -- "$cur"))
        else
            _vantrel_cli_files "$_vantrel_cli_media"
        fi
        ;;
    probe)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--json -h --help --' -- "$cur"))
        else
            _vantrel_cli_files "$_vantrel_cli_media"
        fi
        ;;
    codecs)
        if [[ $prev == --container ]]; then
            COMPREPLY=($(compgen -W 'avi mp4 mov mkv webm' -- "$cur"))
        else
            COMPREPLY=($(compgen -W '--video --audio --container -h --help' -- "$cur"))
        fi
        ;;
    project)
        if ((COMP_CWORD == 2)); then
            COMPREPLY=($(compgen -W 'save show -h --help' -- "$cur"))
        elif ((COMP_CWORD == 3)); then
            _vantrel_cli_files 'qmf'
        elif [[ ${COMP_WORDS[2]} == save ]]; then
            _vantrel_cli_files "$_vantrel_cli_media"
        fi
        ;;
    help)
        ((COMP_CWORD == 2)) && COMPREPLY=($(compgen -W 'join probe codecs project' -- "$cur"))
        ;;
    esac
} &&
    complete -F _vantrel_cli vantrel-cli
