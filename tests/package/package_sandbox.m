function package_sandbox(dir)
% PACKAGE_SANDBOX  Points pkg at a scratch folder for this session: packages
% install into dir/share and dir/arch, and both package lists live in dir,
% so the user's and the system's packages are neither read nor touched.
  pkg('prefix', fullfile(dir, 'share'), fullfile(dir, 'arch'));
  pkg('local_list', fullfile(dir, 'local_packages'));
  pkg('global_list', fullfile(dir, 'global_packages'));
end
