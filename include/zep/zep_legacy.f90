! Explicit interfaces of the library's by-reference entry points for
! Fortran callers: `use zep_legacy` and call fnom, vktouv, vktinf, vktluk,
! vktecr and the others by their usual names.
!
! Field buffers are assumed-type (type(*), dimension(*)), so one program
! unit passes real, integer or double precision arrays to the same entry
! without -fallow-argument-mismatch. Entries without text arguments are
! bound straight to the library's symbols; those with text arguments are
! module procedures that pass each text's length to the library, as the
! by-reference entries expect.
!
! Sizes to remember (see "Calling the library" in the README): vktluk
! fills ni*nj*nk words, 2*ni*nj*nk for 64-bit IEEE records unless
! REDUCTION32 is set; integers for datyp 2 and 4. vktprm fills its text
! arguments up to their field widths (typvar 2, nomvar 4, etiket 12,
! grtyp 1).
module zep_legacy
  use, intrinsic :: iso_c_binding, only: c_int, c_char, c_size_t
  implicit none
  private
  public :: fnom, fclos, vktouv, vktfrm, vktnbr, vktinf, vktsui, vktprm, vktluk, vktecr, &
            vkteff, vktopc

  interface
    ! Releases unit iun; 0 on success.
    integer(c_int) function fclos(iun) bind(C, name='fclos_')
      import :: c_int
      integer(c_int), intent(in) :: iun
    end function fclos

    ! Closes the standard file of unit iun; 0 on success.
    integer(c_int) function vktfrm(iun) bind(C, name='vktfrm_')
      import :: c_int
      integer(c_int), intent(in) :: iun
    end function vktfrm

    ! Directory entries of unit iun (deleted ones included), or a negative code.
    integer(c_int) function vktnbr(iun) bind(C, name='vktnbr_')
      import :: c_int
      integer(c_int), intent(in) :: iun
    end function vktnbr

    ! Next record matching the last search: its handle (>= 0) or a negative code.
    integer(c_int) function vktsui(iun, ni, nj, nk) bind(C, name='vktsui_')
      import :: c_int
      integer(c_int), intent(in) :: iun
      integer(c_int), intent(inout) :: ni, nj, nk
    end function vktsui

    ! Reads the record of `handle` into field; the handle or a negative code.
    integer(c_int) function vktluk(field, handle, ni, nj, nk) bind(C, name='vktluk_')
      import :: c_int
      type(*), dimension(*) :: field
      integer(c_int), intent(in) :: handle
      integer(c_int), intent(inout) :: ni, nj, nk
    end function vktluk

    ! Erases the record of `handle`; 0 or a negative code.
    integer(c_int) function vkteff(handle) bind(C, name='vkteff_')
      import :: c_int
      integer(c_int), intent(in) :: handle
    end function vkteff

    integer(c_int) function fnom_c(iun, name, attributes, lrec, lname, lattributes) &
        bind(C, name='fnom_')
      import :: c_int, c_char, c_size_t
      integer(c_int), intent(inout) :: iun
      character(kind=c_char), dimension(*), intent(in) :: name, attributes
      integer(c_int), intent(in) :: lrec
      integer(c_size_t), value :: lname, lattributes
    end function fnom_c

    integer(c_int) function vktouv_c(iun, options, loptions) bind(C, name='vktouv_')
      import :: c_int, c_char, c_size_t
      integer(c_int), intent(in) :: iun
      character(kind=c_char), dimension(*), intent(in) :: options
      integer(c_size_t), value :: loptions
    end function vktouv_c

    integer(c_int) function vktopc_c(option, value, getmode, loption, lvalue) &
        bind(C, name='vktopc_')
      import :: c_int, c_char, c_size_t
      character(kind=c_char), dimension(*), intent(in) :: option, value
      integer(c_int), intent(in) :: getmode
      integer(c_size_t), value :: loption, lvalue
    end function vktopc_c

    integer(c_int) function vktinf_c(iun, ni, nj, nk, datev, etiket, ip1, ip2, ip3, typvar, &
                                     nomvar, letiket, ltypvar, lnomvar) bind(C, name='vktinf_')
      import :: c_int, c_char, c_size_t
      integer(c_int), intent(in) :: iun, datev, ip1, ip2, ip3
      integer(c_int), intent(inout) :: ni, nj, nk
      character(kind=c_char), dimension(*), intent(in) :: etiket, typvar, nomvar
      integer(c_size_t), value :: letiket, ltypvar, lnomvar
    end function vktinf_c

    integer(c_int) function vktprm_c(handle, dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, &
                                     ip2, ip3, typvar, nomvar, etiket, grtyp, ig1, ig2, ig3, &
                                     ig4, swa, lng, dltf, ubc, extra1, extra2, extra3, ltypvar, &
                                     lnomvar, letiket, lgrtyp) bind(C, name='vktprm_')
      import :: c_int, c_char, c_size_t
      integer(c_int), intent(in) :: handle
      integer(c_int), intent(inout) :: dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2, &
                                       ip3, ig1, ig2, ig3, ig4, swa, lng, dltf, ubc, extra1, &
                                       extra2, extra3
      character(kind=c_char), dimension(*), intent(inout) :: typvar, nomvar, etiket, grtyp
      integer(c_size_t), value :: ltypvar, lnomvar, letiket, lgrtyp
    end function vktprm_c

    integer(c_int) function vktecr_c(field, work, npak, iun, date, deet, npas, ni, nj, nk, ip1, &
                                     ip2, ip3, typvar, nomvar, etiket, grtyp, ig1, ig2, ig3, ig4, &
                                     datyp, rewrit, ltypvar, lnomvar, letiket, lgrtyp) &
        bind(C, name='vktecr_')
      import :: c_int, c_char, c_size_t
      type(*), dimension(*) :: field, work
      integer(c_int), intent(in) :: npak, iun, date, deet, npas, ni, nj, nk, ip1, ip2, ip3, &
                                    ig1, ig2, ig3, ig4, datyp, rewrit
      character(kind=c_char), dimension(*), intent(in) :: typvar, nomvar, etiket, grtyp
      integer(c_size_t), value :: ltypvar, lnomvar, letiket, lgrtyp
    end function vktecr_c
  end interface

contains

  ! Binds unit iun to a file; 0 on success.
  integer function fnom(iun, name, attributes, lrec)
    integer(c_int), intent(inout) :: iun
    character(len=*), intent(in) :: name, attributes
    integer(c_int), intent(in) :: lrec
    fnom = fnom_c(iun, name, attributes, lrec, len(name, c_size_t), len(attributes, c_size_t))
  end function fnom

  ! Opens the standard file of unit iun: its record count, or a negative code.
  integer function vktouv(iun, options)
    integer(c_int), intent(in) :: iun
    character(len=*), intent(in) :: options
    vktouv = vktouv_c(iun, options, len(options, c_size_t))
  end function vktouv

  ! Sets (getmode 0) or prints an option such as MSGLVL or TOLRNC; 0.
  integer function vktopc(option, value, getmode)
    character(len=*), intent(in) :: option, value
    integer(c_int), intent(in) :: getmode
    vktopc = vktopc_c(option, value, getmode, len(option, c_size_t), len(value, c_size_t))
  end function vktopc

  ! First record that matches: its handle (>= 0) or a negative code.
  integer function vktinf(iun, ni, nj, nk, datev, etiket, ip1, ip2, ip3, typvar, nomvar)
    integer(c_int), intent(in) :: iun, datev, ip1, ip2, ip3
    integer(c_int), intent(inout) :: ni, nj, nk
    character(len=*), intent(in) :: etiket, typvar, nomvar
    vktinf = vktinf_c(iun, ni, nj, nk, datev, etiket, ip1, ip2, ip3, typvar, nomvar, &
                      len(etiket, c_size_t), len(typvar, c_size_t), len(nomvar, c_size_t))
  end function vktinf

  ! Descriptors of the record of `handle`: the handle or a negative code.
  integer function vktprm(handle, dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2, ip3, &
                          typvar, nomvar, etiket, grtyp, ig1, ig2, ig3, ig4, swa, lng, dltf, &
                          ubc, extra1, extra2, extra3)
    integer(c_int), intent(in) :: handle
    integer(c_int), intent(inout) :: dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2, ip3, &
                                     ig1, ig2, ig3, ig4, swa, lng, dltf, ubc, extra1, extra2, &
                                     extra3
    character(len=*), intent(inout) :: typvar, nomvar, etiket, grtyp
    vktprm = vktprm_c(handle, dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2, ip3, &
                      typvar, nomvar, etiket, grtyp, ig1, ig2, ig3, ig4, swa, lng, dltf, ubc, &
                      extra1, extra2, extra3, len(typvar, c_size_t), len(nomvar, c_size_t), &
                      len(etiket, c_size_t), len(grtyp, c_size_t))
  end function vktprm

  ! Writes a record from field (work is not used): >= 0, or a negative code.
  integer function vktecr(field, work, npak, iun, date, deet, npas, ni, nj, nk, ip1, ip2, ip3, &
                          typvar, nomvar, etiket, grtyp, ig1, ig2, ig3, ig4, datyp, rewrit)
    type(*), dimension(*) :: field, work
    integer(c_int), intent(in) :: npak, iun, date, deet, npas, ni, nj, nk, ip1, ip2, ip3, ig1, &
                                  ig2, ig3, ig4, datyp, rewrit
    character(len=*), intent(in) :: typvar, nomvar, etiket, grtyp
    vktecr = vktecr_c(field, work, npak, iun, date, deet, npas, ni, nj, nk, ip1, ip2, ip3, &
                      typvar, nomvar, etiket, grtyp, ig1, ig2, ig3, ig4, datyp, rewrit, &
                      len(typvar, c_size_t), len(nomvar, c_size_t), len(etiket, c_size_t), &
                      len(grtyp, c_size_t))
  end function vktecr

end module zep_legacy
